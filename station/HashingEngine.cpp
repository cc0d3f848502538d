#include "station/HashingEngine.h"

#include <openssl/evp.h>

#include "posix/Posix.h"

#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace station {

namespace {

std::string Hex(const unsigned char* digest, unsigned size)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned i = 0; i < size; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

// The folder open as fd, as the kernel names it.
std::string FolderOf(int fd)
{
    char path[PATH_MAX];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(link.c_str(), path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

struct CHashingEngine::Open
{
    std::string rel;
    std::uint64_t bytes = 0;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~Open() { EVP_MD_CTX_free(context); }
};

CHashingEngine::CHashingEngine(const std::string& sourceRoot, DiscPace pace)
    : m_root(posix::Resolved(sourceRoot)), m_pace(std::move(pace))
{
    if (m_root.empty() || m_root.back() != '/')
        m_root += '/';
}

CHashingEngine::~CHashingEngine() = default;

int CHashingEngine::OpenSource(int dirFd, const char* name, int& fd)
{
    if (const int error = CCopyEngine::OpenSource(dirFd, name, fd))
        return error;
    std::string folder = FolderOf(dirFd) + "/";
    auto open = std::make_unique<Open>();
    open->rel = (folder.compare(0, m_root.size(), m_root) == 0 ? folder.substr(m_root.size()) : std::string()) + name;
    EVP_DigestInit_ex(open->context, EVP_sha256(), nullptr);
    // A descriptor number is used again once closed: the newest opening
    // owns it.
    m_open[fd] = std::move(open);
    return 0;
}

int CHashingEngine::CopyRange(int, int, std::size_t, std::size_t& moved)
{
    moved = 0;
    return EXDEV;
}

int CHashingEngine::ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got)
{
    if (const int error = CCopyEngine::ReadChunk(in, buffer, max, got))
        return error;
    if (m_pace)
        m_pace(got);
    const auto it = m_open.find(in);
    if (it == m_open.end())
        return 0;
    Open& open = *it->second;
    if (got > 0) {
        EVP_DigestUpdate(open.context, buffer, got);
        open.bytes += got;
        return 0;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_DigestFinal_ex(open.context, digest, &size);
    m_done[open.rel] = {Hex(digest, size), open.bytes};
    m_open.erase(it);
    return 0;
}

int CHashingEngine::WriteChunk(int out, const char* data, std::size_t size)
{
    const int error = CCopyEngine::WriteChunk(out, data, size);
    if (error != 0 && m_outputError == 0)
        m_outputError = error;
    return error;
}

int CHashingEngine::Flush(int dirFd)
{
    const int error = CCopyEngine::Flush(dirFd);
    if (error != 0 && m_outputError == 0)
        m_outputError = error;
    return error;
}

int HashFiles(const std::string& root, const std::vector<std::string>& paths, const std::atomic<bool>& cancel,
              const DiscPace& pace, std::map<std::string, FileHash>& hashes, bool keepGoing)
{
    std::unique_ptr<char[]> buffer(new char[copy::CCopyEngine::kBufferBytes]);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    for (const std::string& rel : paths) {
        posix::CFd fd(posix::RetryOnInterrupt([&] {
            return ::open((root + rel).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        }));
        struct stat st;
        if (fd.Get() < 0 && (errno == ELOOP || keepGoing))
            continue;
        if (fd.Get() < 0)
            return errno;
        if (::fstat(fd.Get(), &st) != 0) {
            if (keepGoing)
                continue;
            return errno;
        }
        if (!S_ISREG(st.st_mode))
            continue;
        ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
        FileHash hash;
        for (;;) {
            if (cancel.load())
                return ECANCELED;
            const ssize_t n = posix::RetryOnInterrupt(
                [&] { return ::read(fd.Get(), buffer.get(), copy::CCopyEngine::kBufferBytes); });
            if (n < 0 && keepGoing) {
                hash.bytes = ~std::uint64_t(0);
                break;
            }
            if (n < 0)
                return errno;
            if (pace)
                pace(static_cast<std::size_t>(n));
            if (n == 0)
                break;
            EVP_DigestUpdate(context.get(), buffer.get(), static_cast<std::size_t>(n));
            hash.bytes += static_cast<std::uint64_t>(n);
        }
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        EVP_DigestFinal_ex(context.get(), digest, &size);
        hash.sha256 = Hex(digest, size);
        if (hash.bytes != ~std::uint64_t(0))
            hashes[rel] = std::move(hash);
    }
    return 0;
}

std::string Sha256Hex(const std::string& bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    return Hex(digest, size);
}

} // namespace station
