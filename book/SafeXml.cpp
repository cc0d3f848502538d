#include "book/SafeXml.h"

#include <tinyxml.h>

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

NccFailure ReadWholeFile(const std::string& path, std::string& bytes)
{
    // O_NONBLOCK: a disc may carry a named pipe under the expected name, and
    // opening one for reading would otherwise wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return NccFailure::CannotOpen;
    NccFailure failure = NccFailure::None;
    struct stat info = {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        failure = NccFailure::CannotOpen;
    else if (info.st_size <= 0)
        failure = NccFailure::Empty;
    else if (static_cast<std::uint64_t>(info.st_size) > kMaxNccBytes)
        failure = NccFailure::TooLarge;
    if (failure == NccFailure::None) {
        bytes.reserve(static_cast<std::size_t>(info.st_size) + kNccPadding);
        bytes.resize(static_cast<std::size_t>(info.st_size));
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<std::size_t>(got);
        }
        // The size seen at the start is read whole, or the read fails.
        if (done != bytes.size())
            failure = NccFailure::CannotOpen;
    }
    ::close(fd);
    return failure;
}

NccFailure ParsePrepared(const std::string& text, TiXmlDocument& document)
{
    if (!ScanNccShape(text.c_str()).withinLimits)
        return NccFailure::TooComplex;
    TiXmlBase::SetCondenseWhiteSpace(false);
    document.SetTabSize(0);
    document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    return document.Error() ? NccFailure::NotXml : NccFailure::None;
}

} // namespace

NccFailure LoadSafeXml(const std::string& path, TiXmlDocument& document)
{
    std::string bytes;
    const NccFailure failure = ReadWholeFile(path, bytes);
    if (failure != NccFailure::None)
        return failure;
    return ParsePrepared(PrepareNccText(std::move(bytes)), document);
}

NccFailure ParseSafeXml(std::string_view fileBytes, TiXmlDocument& document)
{
    if (fileBytes.empty())
        return NccFailure::Empty;
    if (fileBytes.size() > kMaxNccBytes)
        return NccFailure::TooLarge;
    return ParsePrepared(PrepareNccText(std::string(fileBytes)), document);
}

std::string_view LocalName(std::string_view name)
{
    const auto colon = name.rfind(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}
