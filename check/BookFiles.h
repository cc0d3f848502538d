// What the book check needs of the files of a disc or of a copy: the names
// below a folder with their sizes, and bytes from a file. Behind an
// interface so that tests can fake a disc, and so that whoever reads a copy
// back can count or redirect what is read.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace check {

enum class EntryType
{
    File,    // a regular file
    Folder,
    Other    // a symbolic link, a device, a pipe: never read
};

struct FileEntry
{
    std::string path;  // relative to the root, '/' between folders, no leading '/'
    EntryType type = EntryType::File;
    std::uint64_t size = 0;
};

class IBookFileAccess
{
public:
    virtual ~IBookFileAccess() = default;

    // Every entry below folder (relative to the root; "" for the root
    // itself, else ending in '/'), at every depth, without following links.
    // 0 or an errno value.
    virtual int ListTree(const std::string& folder, std::vector<FileEntry>& entries) = 0;

    // Up to maxBytes of path from offset; fewer only at the end of the file.
    // 0 or an errno value.
    virtual int Read(const std::string& path, std::uint64_t offset, std::size_t maxBytes, std::string& bytes) = 0;
};

// The files below a folder of the file system (a mounted disc, a copy).
class CPosixBookFiles : public IBookFileAccess
{
public:
    // root: a folder; a '/' is added when it has none at its end. Once
    // *stop is true (a window closing), nothing more is read: every call
    // gives ECANCELED, so that a check of a slow disc ends at once.
    explicit CPosixBookFiles(std::string root, const std::atomic<bool>* stop = nullptr);

    int ListTree(const std::string& folder, std::vector<FileEntry>& entries) override;
    int Read(const std::string& path, std::uint64_t offset, std::size_t maxBytes, std::string& bytes) override;

    // What Read has handed over so far, for the benchmark and the tests that
    // hold the check to reading little of each audio file.
    std::uint64_t BytesRead() const { return m_bytesRead; }

private:
    bool Stopped() const { return m_stop != nullptr && m_stop->load(); }

    std::string m_root;
    const std::atomic<bool>* m_stop;
    std::uint64_t m_bytesRead = 0;
};

// At most this many entries are listed; a disc that holds more is refused
// with E2BIG rather than listed for minutes.
inline constexpr std::size_t kMaxListedEntries = 1'000'000;

} // namespace check
