// The engine for bags: SHA-256 of every file as it is read from the disc,
// so a bag's manifest costs no second pass over the disc or the copy. The
// kernel's own copy (copy_file_range) never shows the bytes, so this
// engine always reads and writes itself.
#pragma once

#include "copy/CopyEngine.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace station {

struct FileHash
{
    std::string sha256;  // lower-case hex
    std::uint64_t bytes = 0;
};

class CHashingEngine final : public copyops::CCopyEngine
{
public:
    // sourceRoot: the folder the copy reads (ending in '/'); the hashes are
    // keyed by paths relative to it.
    explicit CHashingEngine(const std::string& sourceRoot);
    ~CHashingEngine() override;

    // The files read to their end; a file read again (a retry) counts its
    // last reading.
    const std::map<std::string, FileHash>& Hashes() const { return m_done; }

protected:
    int OpenSource(int dirFd, const char* name, int& fd) override;
    int CopyRange(int in, int out, std::size_t max, std::size_t& moved) override;
    int ReadChunk(int in, char* buffer, std::size_t max, std::size_t& got) override;

private:
    struct Open;
    std::string m_root;
    std::map<int, std::unique_ptr<Open>> m_open;  // by descriptor
    std::map<std::string, FileHash> m_done;
};

// SHA-256 of bytes, lower-case hex.
std::string Sha256Hex(const std::string& bytes);

} // namespace station
