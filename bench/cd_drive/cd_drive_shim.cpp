// A modelled CD drive for benchmarks, loaded with LD_PRELOAD: every file
// opened below TALVORA_SHIM_ROOT costs TALVORA_SHIM_OPEN_MS (default 80 ms,
// a CD's access time), and every byte read from such a file passes at
// TALVORA_SHIM_MBPS (default 7 MB/s, a 48x drive's middle) through one
// queue, as one drive serves one reader at a time. Reads through read,
// pread, readv, preadv, copy_file_range and sendfile are paced; mmap is not
// (the program does not map disc files).
#include <dlfcn.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#define MAX_FDS 65536

namespace {

char g_root[4096];
size_t g_rootLength;
double g_openSeconds = 0.080;
double g_bytesPerSecond = 7e6;
unsigned char g_onDisc[MAX_FDS];
pthread_mutex_t g_drive = PTHREAD_MUTEX_INITIALIZER;
double g_driveFreeAt;  // when the drive has served what it was asked

double Now(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void SleepUntil(double when)
{
    for (double now = Now(); now < when; now = Now()) {
        const double left = when - now;
        const time_t whole = static_cast<time_t>(left);
        struct timespec t = {whole, static_cast<long>((left - static_cast<double>(whole)) * 1e9)};
        nanosleep(&t, nullptr);
    }
}

// The drive is busy for seconds after whatever it was doing already.
void Occupy(double seconds)
{
    pthread_mutex_lock(&g_drive);
    const double now = Now();
    const double start = g_driveFreeAt > now ? g_driveFreeAt : now;
    g_driveFreeAt = start + seconds;
    const double done = g_driveFreeAt;
    pthread_mutex_unlock(&g_drive);
    SleepUntil(done);
}

__attribute__((constructor)) void Setup(void)
{
    const char* root = getenv("TALVORA_SHIM_ROOT");
    if (root != nullptr && realpath(root, g_root) != nullptr)
        g_rootLength = strlen(g_root);
    const char* ms = getenv("TALVORA_SHIM_OPEN_MS");
    if (ms != nullptr)
        g_openSeconds = atof(ms) / 1000.0;
    const char* mbps = getenv("TALVORA_SHIM_MBPS");
    if (mbps != nullptr && atof(mbps) > 0)
        g_bytesPerSecond = atof(mbps) * 1e6;
}

int InsideRoot(const char* path)
{
    if (g_rootLength == 0 || path == nullptr)
        return 0;
    return strncmp(path, g_root, g_rootLength) == 0 && (path[g_rootLength] == '/' || path[g_rootLength] == '\0');
}

// Whether dirfd/path names something on the modelled disc.
int OnDisc(int dirfd, const char* path)
{
    if (g_rootLength == 0 || path == nullptr)
        return 0;
    if (path[0] != '/' && dirfd >= 0 && dirfd < MAX_FDS && g_onDisc[dirfd])
        return 1;
    char full[8192];
    if (path[0] == '/') {
        snprintf(full, sizeof full, "%s", path);
    } else {
        char base[4096];
        if (dirfd == AT_FDCWD) {
            if (getcwd(base, sizeof base) == nullptr)
                return 0;
        } else {
            char link[64];
            snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
            const ssize_t n = readlink(link, base, sizeof base - 1);
            if (n <= 0)
                return 0;
            base[n] = '\0';
        }
        snprintf(full, sizeof full, "%s/%s", base, path);
    }
    char real[4096];
    return InsideRoot(realpath(full, real) != nullptr ? real : full);
}

int Opened(int fd, int onDisc, int flags)
{
    if (fd >= 0 && fd < MAX_FDS) {
        g_onDisc[fd] = static_cast<unsigned char>(onDisc);
        if (onDisc && !(flags & O_DIRECTORY))
            Occupy(g_openSeconds);
    }
    return fd;
}

void Paced(int fd, ssize_t bytes)
{
    if (bytes > 0 && fd >= 0 && fd < MAX_FDS && g_onDisc[fd])
        Occupy(static_cast<double>(bytes) / g_bytesPerSecond);
}

#define REAL(name)                                                                                             \
    static __typeof__(&name) real_##name;                                                                      \
    if (!real_##name)                                                                                          \
    real_##name = reinterpret_cast<__typeof__(&name)>(dlsym(RTLD_NEXT, #name))

mode_t ModeOf(int flags, va_list args)
{
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    REAL(open);
    return Opened(real_open(path, flags, mode), OnDisc(AT_FDCWD, path), flags);
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    REAL(open64);
    return Opened(real_open64(path, flags, mode), OnDisc(AT_FDCWD, path), flags);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    REAL(openat);
    return Opened(real_openat(dirfd, path, flags, mode), OnDisc(dirfd, path), flags);
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeOf(flags, args);
    va_end(args);
    REAL(openat64);
    return Opened(real_openat64(dirfd, path, flags, mode), OnDisc(dirfd, path), flags);
}

int __open_2(const char* path, int flags)
{
    return open(path, flags);
}

int __open64_2(const char* path, int flags)
{
    return open64(path, flags);
}

int __openat_2(int dirfd, const char* path, int flags)
{
    return openat(dirfd, path, flags);
}

int __openat64_2(int dirfd, const char* path, int flags)
{
    return openat64(dirfd, path, flags);
}

int close(int fd)
{
    REAL(close);
    if (fd >= 0 && fd < MAX_FDS)
        g_onDisc[fd] = 0;
    return real_close(fd);
}

ssize_t read(int fd, void* buffer, size_t count)
{
    REAL(read);
    const ssize_t n = real_read(fd, buffer, count);
    Paced(fd, n);
    return n;
}

ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    REAL(pread);
    const ssize_t n = real_pread(fd, buffer, count, offset);
    Paced(fd, n);
    return n;
}

ssize_t pread64(int fd, void* buffer, size_t count, off_t offset)
{
    REAL(pread64);
    const ssize_t n = real_pread64(fd, buffer, count, offset);
    Paced(fd, n);
    return n;
}

ssize_t readv(int fd, const struct iovec* iov, int count)
{
    REAL(readv);
    const ssize_t n = real_readv(fd, iov, count);
    Paced(fd, n);
    return n;
}

ssize_t preadv(int fd, const struct iovec* iov, int count, off_t offset)
{
    REAL(preadv);
    const ssize_t n = real_preadv(fd, iov, count, offset);
    Paced(fd, n);
    return n;
}

ssize_t copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset, size_t length, unsigned int flags)
{
    REAL(copy_file_range);
    const ssize_t n = real_copy_file_range(in, inOffset, out, outOffset, length, flags);
    Paced(in, n);
    return n;
}

ssize_t sendfile(int out, int in, off_t* offset, size_t count)
{
    REAL(sendfile);
    const ssize_t n = real_sendfile(out, in, offset, count);
    Paced(in, n);
    return n;
}

ssize_t sendfile64(int out, int in, off_t* offset, size_t count)
{
    REAL(sendfile64);
    const ssize_t n = real_sendfile64(out, in, offset, count);
    Paced(in, n);
    return n;
}

} // extern "C"
