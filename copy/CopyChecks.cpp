// The real file operations' book check and the note an incomplete copy
// keeps of what it still needs.
#include "copy/FileOperations.h"

#include "book/BookFile.h"
#include "check/BookFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <xxhash.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace copy {

namespace {

using posix::CFd;
using posix::RetryOnInterrupt;

// A note longer than this is no note of ours.
constexpr std::size_t kMaxNoteBytes = 16u << 20;

// The book file in folder itself: an NCC before a package file before a
// disc index, as the disc search ranks them.
std::string BookFileIn(const std::string& folder)
{
    CFd dir(RetryOnInterrupt([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    std::vector<std::string> names;
    if (dir.Get() < 0 || posix::ListNames(dir.Get(), names) != 0)
        return {};
    for (const BookFileKind wanted : {BookFileKind::Ncc, BookFileKind::Package, BookFileKind::DiscInfo})
        for (const std::string& name : names)
            if (BookFileKindOfName(name) == wanted)
                return name;
    return {};
}

} // namespace

check::CheckReport CFileOperations::CheckBook(const std::string& folder, check::Place place)
{
    // The copy's audio is judged from every byte: as the engine walked it
    // coming from the disc, or read again from the drive where the engine
    // did not write it (kept from an earlier run).
    check::CheckOptions options;
    if (place == check::Place::Copy) {
        options.audio = check::AudioReading::Whole;
        if (m_engine.WalkedInto() == folder)
            options.walked = &m_engine.Walked();
    }
    return CheckBookFolder(folder, options);
}

check::CheckReport CheckBookFolder(const std::string& folder, const check::CheckOptions& options)
{
    const std::string bookFile = BookFileIn(folder);
    if (bookFile.empty())
        return {};
    check::CPosixBookFiles files(folder, options.stop);
    return check::CheckDisc(files, bookFile, options);
}

std::string CFileOperations::DiscIdentity(const std::string& discRoot)
{
    const std::string bookFile = BookFileIn(discRoot);
    CFd file(bookFile.empty() ? -1 : RetryOnInterrupt([&] {
        return ::open(posix::Join(discRoot, bookFile).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }));
    struct stat st;
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return {};
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK)
        return {};
    char buffer[65536];
    for (;;) {
        const ssize_t got = RetryOnInterrupt([&] { return ::read(file.Get(), buffer, sizeof buffer); });
        if (got < 0)
            return {};
        if (got == 0)
            break;
        XXH3_128bits_update(state.get(), buffer, static_cast<std::size_t>(got));
    }
    const XXH128_hash_t hash = XXH3_128bits_digest(state.get());
    char hex[33];
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                  static_cast<unsigned long long>(hash.low64));
    return bookFile + ":" + hex;
}

namespace {

// The XXH3-128 hash of the file at path as the drive holds it, in hex;
// "" when it is no regular file of size bytes or cannot be read, or when
// read, told the bytes of each chunk as it is read, returns false to stop.
// Its cached pages are dropped first: the cache would answer from memory
// what the device may no longer hold.
std::string HashOnDrive(const std::string& path, std::uint64_t size, const std::function<bool(std::uint64_t)>& read)
{
    CFd file(RetryOnInterrupt([&] { return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); }));
    struct stat st;
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) != size)
        return {};
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> state(XXH3_createState(), &XXH3_freeState);
    if (!state || XXH3_128bits_reset(state.get()) != XXH_OK)
        return {};
    std::unique_ptr<char[]> buffer(new char[1u << 20]);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = RetryOnInterrupt([&] { return ::read(file.Get(), buffer.get(), 1u << 20); });
        if (got < 0)
            return {};
        if (got == 0)
            break;
        total += static_cast<std::uint64_t>(got);
        XXH3_128bits_update(state.get(), buffer.get(), static_cast<std::size_t>(got));
        if (!read(static_cast<std::uint64_t>(got)))
            return {};
    }
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_DONTNEED);
    if (total != size)
        return {};
    const XXH128_hash_t hash = XXH3_128bits_digest(state.get());
    char hex[33];
    std::snprintf(hex, sizeof hex, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                  static_cast<unsigned long long>(hash.low64));
    return hex;
}

} // namespace

KeptProof CFileOperations::ChangedSince(const std::string& folder,
                                       const std::vector<copy::CopyOutcome::Seen>& noted, const std::string& title)
{
    KeptProof proof;
    bool proven = false;
    // A note's sizes are whatever its file says: the sum must not wrap.
    auto add = [](std::uint64_t a, std::uint64_t b) { return a + b < a ? UINT64_MAX : a + b; };
    std::uint64_t total = 0;
    for (const copy::CopyOutcome::Seen& seen : noted)
        total = add(total, seen.size);
    m_runner(title, [&](copy::ICopyReporter& reporter) {
        std::uint64_t done = 0;
        reporter.Progress(0, total);
        auto read = [&](std::uint64_t bytes) {
            done = add(done, bytes);
            reporter.Progress(std::min(done, total), total);
            return !reporter.Cancelled();
        };
        for (const copy::CopyOutcome::Seen& seen : noted) {
            const std::uint64_t before = done;
            const bool same = HashOnDrive(posix::Join(folder, seen.path), seen.size, read) == seen.hash;
            if (reporter.Cancelled()) {
                proof.cancelled = true;
                return;
            }
            if (!same)
                proof.changed.push_back(seen.path);
            // A file cut short or gone counts as read.
            done = add(before, seen.size);
            reporter.Progress(std::min(done, total), total);
        }
        proven = true;
    });
    // Work that never ran proved nothing.
    if (!proven && !proof.cancelled) {
        proof.changed.clear();
        for (const copy::CopyOutcome::Seen& seen : noted)
            proof.changed.push_back(seen.path);
    }
    return proof;
}

std::vector<std::string> CFileOperations::Remembered(const std::string& folder)
{
    std::vector<std::string> files;
    // Only a regular file is a note: a FIFO put there would block the copy
    // for good, a device would feed it anything.
    CFd note(RetryOnInterrupt([&] {
        return ::open(posix::Join(folder, kNeededNote).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    }));
    struct stat st;
    if (note.Get() < 0 || ::fstat(note.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return files;
    std::string bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t got = RetryOnInterrupt([&] { return ::read(note.Get(), buffer, sizeof buffer); });
        if (got <= 0 || bytes.size() + static_cast<std::size_t>(got) > kMaxNoteBytes)
            break;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    // One path a line would break on a name with a line break in it.
    for (std::size_t start = 0; start < bytes.size();) {
        std::size_t end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        if (end > start)
            files.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return files;
}

Failure CFileOperations::Remember(const std::string& folder, const std::vector<std::string>& files)
{
    const std::string path = posix::Join(folder, kNeededNote);
    if (files.empty())
        return posix::OnOutput(::unlink(path.c_str()) != 0 && errno != ENOENT ? errno : 0, path);
    std::string bytes;
    for (const std::string& file : files)
        bytes += file + '\0';
    // A new file in place of whatever holds the name (a FIFO would block).
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return posix::OnOutput(errno, path);
    CFd note(RetryOnInterrupt(
        [&] { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600); }));
    if (note.Get() < 0)
        return posix::OnOutput(errno, path);
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = RetryOnInterrupt([&] { return ::write(note.Get(), bytes.data() + done, bytes.size() - done); });
        if (put < 0)
            return posix::OnOutput(errno, path);
        done += static_cast<std::size_t>(put);
    }
    return posix::OnOutput(::fsync(note.Get()) != 0 ? errno : 0, path);
}

} // namespace copy
