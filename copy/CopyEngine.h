// Copies a folder's content into another folder and deletes folder trees,
// in place of a desktop shell's file operation.
//
// Every file is written under a hidden temporary name in its target folder
// and renamed only when complete, so a cancelled, failed or killed copy never
// leaves a truncated file under a real name, and an existing file is only
// ever replaced by a complete new one. Links are copied as links, never
// followed. Nothing of the engine needs a user interface: it talks to one
// through ICopyReporter, which a progress window implements and tests script.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace copyops {

enum class ReplaceAnswer { Yes, YesToAll, No, Cancel };
enum class ErrorAnswer { Retry, Skip, Cancel };

// Everything is called on the thread that runs the copy.
class ICopyReporter
{
public:
    virtual ~ICopyReporter() = default;

    // Bytes of regular files done so far of the total found when the copy
    // began. Called often; cheap implementations only.
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0;

    // The file at path exists already and asking mode is on.
    virtual ReplaceAnswer AskReplace(const std::string& path) = 0;

    // path could not be copied; reason is a Dutch sentence for the user.
    virtual ErrorAnswer AskError(const std::string& path, const std::string& reason) = 0;

    // The copy has ended with these files missing (paths relative to the
    // destination folder); the copy has failed.
    virtual void ReportMissing(const std::vector<std::string>& paths) = 0;

    // True once the user asked to stop; polled between chunks of at most
    // kChunkBytes, so a cancel takes effect as soon as the current read
    // returns.
    virtual bool Cancelled() const = 0;
};

// A Dutch description of an errno value for messages.
std::string DescribeError(int error);

// The engine's own leftovers (from a killed run) carry names of this form;
// they are never copied on.
bool IsPartialFileName(const char* name);

class CCopyEngine
{
public:
    static constexpr std::size_t kChunkBytes = std::size_t(1) << 20;
    // Where the kernel cannot copy by itself (across file systems, as from
    // a disc): small enough to stay in the processor's cache.
    static constexpr std::size_t kBufferBytes = std::size_t(128) << 10;

    CCopyEngine();
    virtual ~CCopyEngine();

    // Copies everything inside sourceFolder into destFolder, creating
    // destFolder and its missing parents. When askBeforeReplace is set the
    // reporter is asked before an existing file is replaced; otherwise it is
    // replaced silently. True only when every file arrived and was flushed
    // to the device; false after a cancel, a skipped file or an error.
    bool CopyContent(const std::string& sourceFolder, const std::string& destFolder, bool askBeforeReplace,
                     ICopyReporter& reporter);

    // Set false to copy through read/write even where copy_file_range works.
    void SetUseCopyFileRange(bool use) { m_useCopyFileRange = use; }

    // Seconds spent flushing the last copy's data to its device.
    double LastFlushSeconds() const { return m_flushSeconds; }

protected:
    // The two points where the data is touched, overridable to inject
    // faults. OpenSource returns a descriptor or -errno. Transfer moves at
    // most max bytes and returns their count, 0 at the end of the file, or
    // -errno; fastPath may be cleared to fall back to read/write for the
    // rest of this file.
    virtual int OpenSource(int dirFd, const char* name);
    virtual ssize_t Transfer(int in, int out, std::size_t max, bool& fastPath);

private:
    struct Run;
    enum class Step { Done, Skipped, Cancelled };

    template <class Op> Step Attempt(Run& run, const std::string& shownPath, const std::string& relPath, Op op);
    void CopyDir(Run& run, int srcFd, int dstFd, const std::string& rel);
    void CopyEntry(Run& run, int srcFd, int dstFd, const std::string& name, const std::string& rel);
    void CopySubdir(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    void CopyFile(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    void CopyLink(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st, const std::string& rel);
    bool MayReplace(Run& run, int dstFd, const std::string& name, const std::string& rel, bool& skip);
    int WriteFile(Run& run, int srcFd, int dstFd, const std::string& name, const struct stat& st);

    bool m_useCopyFileRange = true;
    double m_flushSeconds = 0;
    std::unique_ptr<char[]> m_buffer;
};

// Removes path and everything below it without following links and without
// leaving its file system. True when nothing of it is left.
bool DeleteTree(const std::string& path);

} // namespace copyops
