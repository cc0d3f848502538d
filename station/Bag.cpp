#include "station/Bag.h"

#include "posix/Posix.h"
#include "station/ArchiveDisc.h"
#include "text/Utf8.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
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

std::string ManifestOf(const std::string& folder, const std::map<std::string, FileHash>& hashes,
                       const std::string& prefix)
{
    std::vector<ListedFile> files;
    std::string manifest;
    if (!ListFiles(folder, files))
        return manifest;
    for (const ListedFile& file : files) {
        const auto it = hashes.find(file.path);
        if (it != hashes.end() && it->second.bytes == file.size)
            manifest += it->second.sha256 + "  " + prefix + ManifestPath(file.path) + "\n";
    }
    return manifest;
}

bool ReadManifest(const std::string& file, const std::string& prefix, std::map<std::string, std::string>& hashes)
{
    hashes.clear();
    posix::CFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = posix::RetryOnInterrupt([&] { return ::read(fd.Get(), buffer, sizeof buffer); })) != 0;) {
        if (n < 0)
            return false;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.size() < 66 + prefix.size() || line.compare(64, 2, "  ") != 0 ||
            line.compare(66, prefix.size(), prefix) != 0)
            return false;
        std::string path;
        for (std::size_t i = 66 + prefix.size(); i < line.size(); ++i) {
            if (line[i] == '%' && i + 2 < line.size() && std::isxdigit(static_cast<unsigned char>(line[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(line[i + 2]))) {
                path += static_cast<char>(std::strtol(line.substr(i + 1, 2).c_str(), nullptr, 16));
                i += 2;
            } else {
                path += line[i];
            }
        }
        hashes[path] = line.substr(0, 64);
    }
    return true;
}

std::string PlainManifestPath(const std::string& folder)
{
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path + ".sha256";
}

int ReplaceFile(const std::string& file, const std::string& text)
{
    const std::string partial = posix::Join(posix::ParentFolder(file), ".talvora-manifest-") + std::to_string(::getpid());
    ::unlink(partial.c_str());
    if (const int error = WriteFile(partial, text)) {
        ::unlink(partial.c_str());
        return error;
    }
    if (::rename(partial.c_str(), file.c_str()) != 0) {
        const int error = errno;
        ::unlink(partial.c_str());
        return error;
    }
    return 0;
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
        // The tag files say they are UTF-8; a name that is not stays out
        // of a bag.
        if (!IsValidUtf8(file.path))
            return EILSEQ;
        manifest += it->second.sha256 + "  data/" + ManifestPath(file.path) + "\n";
        bytes += file.size;
    }
    std::string bagInfo = "Bagging-Date: " + info.date + "\nExternal-Identifier: " + OneLine(info.identifier) +
                          "\nTitle: " + OneLine(info.title) + "\nPayload-Oxum: " + std::to_string(bytes) + "." +
                          std::to_string(payload.size()) + "\nBag-Software-Agent: talvora-archief\n";
    for (const auto& [label, value] : info.notes)
        bagInfo += label + ": " + OneLine(value) + "\n";
    std::vector<std::pair<std::string, std::string>> tags = {
        {"bagit.txt", "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n"},
        {"bag-info.txt", bagInfo},
        {"manifest-sha256.txt", manifest},
    };
    if (!info.missing.empty()) {
        std::string list;
        for (const std::string& path : info.missing)
            list += OneLine(ShownText(path)) + "\n";
        tags.push_back({kMissingTagFile, list});
    }
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
