// The engine for bags: SHA-256 of every file as it is read from the disc,
// so a bag's manifest costs no second pass over the disc or the copy. The
// kernel's own copy (copy_file_range) never shows the bytes, so this
// engine always reads and writes itself.
#pragma once

#include "copy/CopyEngine.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace station {

struct FileHash
{
    std::string sha256;  // lower-case hex
    std::uint64_t bytes = 0;
};

// Called after every read from a disc with the bytes it gave; benchmarks
// slow the reading down to a drive's speed in it. Empty: nothing.
using DiscPace = std::function<void(std::size_t bytes)>;

class CHashingEngine : public copy::CCopyEngine
{
public:
    // sourceRoot: the folder the copy reads (ending in '/'); the hashes are
    // keyed by paths relative to it.
    explicit CHashingEngine(const std::string& sourceRoot, DiscPace pace = {});
    ~CHashingEngine() override;

    // The files read to their end; a file read again (a retry) counts its
    // last reading.
    const std::map<std::string, FileHash>& Hashes() const { return m_done; }

    // The first error writing to or flushing the drive written to; 0 when
    // none. An unattended copy stops at it: a full drive is no unreadable
    // disc.
    int OutputError() const { return m_outputError; }

protected:
    int OpenSource(int dirFd, const char* name, int& fd) override;
    int CopyRange(int in, int out, std::size_t max, std::size_t& moved) override;
    int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got) override;
    int WriteChunk(int out, const char* data, std::size_t size) override;
    int Flush(int dirFd) override;

private:
    struct Open;
    std::string m_root;
    DiscPace m_pace;
    std::map<int, std::unique_ptr<Open>> m_open;  // by descriptor
    std::map<std::string, FileHash> m_done;
    int m_outputError = 0;
};

// SHA-256 of each regular file among paths (relative to root, which ends
// in '/'), read the way a copy reads them, into hashes; what is no regular
// file is left out, and nothing is written. Opened without following a
// link and without waiting on a FIFO. 0, ECANCELED once cancel is set, or
// the first read's errno; keepGoing: a file that cannot be read is left
// out of hashes and the rest still read (0 then).
int HashFiles(const std::string& root, const std::vector<std::string>& paths, const std::atomic<bool>& cancel,
              const DiscPace& pace, std::map<std::string, FileHash>& hashes, bool keepGoing = false);

// SHA-256 of bytes, lower-case hex.
std::string Sha256Hex(const std::string& bytes);

} // namespace station
