#include "check/BookFiles.h"

#include <cerrno>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace check {

namespace {

// Deeper than any book; a disc made to recurse for ever stops here.
constexpr std::size_t kMaxDepth = 64;

int CloseDir(DIR* dir, int error)
{
    ::closedir(dir);
    return error;
}

} // namespace

CPosixBookFiles::CPosixBookFiles(std::string root, const std::atomic<bool>* stop)
    : m_root(std::move(root)), m_stop(stop)
{
    if (m_root.empty() || m_root.back() != '/')
        m_root.push_back('/');
}

int CPosixBookFiles::ListTree(const std::string& folder, std::vector<FileEntry>& entries)
{
    // Folders still to list, with their depth; a loop, not recursion, so a
    // deep tree costs no stack.
    std::vector<std::pair<std::string, std::size_t>> pending{{folder, 0}};
    while (!pending.empty()) {
        if (Stopped())
            return ECANCELED;
        auto [current, depth] = std::move(pending.back());
        pending.pop_back();
        const int fd = ::open((m_root + current).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return errno;
        DIR* dir = ::fdopendir(fd);
        if (dir == nullptr) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        errno = 0;
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == "..")
                continue;
            struct stat st = {};
            if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                return CloseDir(dir, errno);
            FileEntry entry;
            entry.path = current + name;
            if (S_ISREG(st.st_mode)) {
                entry.size = static_cast<std::uint64_t>(st.st_size);
            } else if (S_ISDIR(st.st_mode)) {
                entry.type = EntryType::Folder;
                if (depth + 1 < kMaxDepth)
                    pending.emplace_back(entry.path + '/', depth + 1);
            } else {
                entry.type = EntryType::Other;
            }
            if (entries.size() >= kMaxListedEntries)
                return CloseDir(dir, E2BIG);
            entries.push_back(std::move(entry));
            errno = 0;
        }
        if (errno != 0)
            return CloseDir(dir, errno);
        ::closedir(dir);
    }
    return 0;
}

int CPosixBookFiles::Read(const std::string& path, std::uint64_t offset, std::size_t maxBytes, std::string& bytes)
{
    bytes.clear();
    if (Stopped())
        return ECANCELED;
    // O_NONBLOCK: a pipe under a book's name must not wait for a writer.
    const int fd = ::open((m_root + path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return errno;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return EINVAL;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t left = offset < size ? size - offset : 0;
    bytes.resize(static_cast<std::size_t>(left < maxBytes ? left : maxBytes));
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            break;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    bytes.resize(done);
    m_bytesRead += done;
    return error;
}

} // namespace check
