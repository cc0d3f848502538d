#include "station/Bag.h"

#include "posix/Posix.h"
#include "station/ArchiveDisc.h"

#include <fcntl.h>
#include <unistd.h>

namespace station {

namespace {

int WriteFile(const std::string& path, const std::string& text)
{
    posix::CFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.Get() < 0)
        return errno;
    const ssize_t n = posix::RetryOnInterrupt([&] { return ::write(fd.Get(), text.data(), text.size()); });
    if (n != static_cast<ssize_t>(text.size()))
        return n < 0 ? errno : ENOSPC;
    return ::fsync(fd.Get()) != 0 ? errno : 0;
}

// A tag value on one line.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

} // namespace

std::string ManifestPath(const std::string& path)
{
    std::string out;
    for (const char c : path) {
        if (c == '%')
            out += "%25";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

int WriteBagTags(const std::string& bag, const std::map<std::string, FileHash>& hashes, const BagInfo& info)
{
    std::vector<ListedFile> payload;
    if (!ListFiles(posix::Join(bag, "data"), payload))
        return EIO;
    std::string manifest;
    std::uint64_t bytes = 0;
    for (const ListedFile& file : payload) {
        const auto it = hashes.find(file.path);
        if (it == hashes.end() || it->second.bytes != file.size)
            return EIO;
        manifest += it->second.sha256 + "  data/" + ManifestPath(file.path) + "\n";
        bytes += file.size;
    }
    const std::pair<const char*, std::string> tags[] = {
        {"bagit.txt", "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n"},
        {"bag-info.txt", "Bagging-Date: " + info.date + "\nExternal-Identifier: " + OneLine(info.identifier) +
                             "\nTitle: " + OneLine(info.title) + "\nPayload-Oxum: " + std::to_string(bytes) + "." +
                             std::to_string(payload.size()) + "\nBag-Software-Agent: talvora-archief\n"},
        {"manifest-sha256.txt", manifest},
    };
    std::string tagManifest;
    for (const auto& [name, text] : tags) {
        if (const int error = WriteFile(posix::Join(bag, name), text))
            return error;
        tagManifest += Sha256Hex(text) + "  " + name + "\n";
    }
    if (const int error = WriteFile(posix::Join(bag, "tagmanifest-sha256.txt"), tagManifest))
        return error;
    posix::CFd dir(::open(bag.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return dir.Get() < 0 ? errno : (::fsync(dir.Get()) != 0 ? errno : 0);
}

} // namespace station
