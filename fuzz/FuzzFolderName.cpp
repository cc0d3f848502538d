// Names a folder from arbitrary metadata and checks that the result can
// only ever be one folder directly below the output folder.
//
// Input layout: the first byte holds the three switches; the rest is a
// list of name and content strings, each ended by a NUL byte.
#include "naming/FolderName.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "broken promise: %s\n", what);
        std::abort();
    }
}

bool IsValidUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int switches = data[0];
    CMetaList list;
    std::string fields[2];
    int field = 0;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] != 0) {
            fields[field].push_back(static_cast<char>(data[i]));
            continue;
        }
        if (++field == 2) {
            list.Append(CMetaItem{fields[0], fields[1]});
            fields[0].clear();
            fields[1].clear();
            field = 0;
        }
    }

    std::string name = MakeFolderName(switches & 1, switches & 2, switches & 4, list);
    if (name.empty())
        return 0;
    const std::string trimmed = " \t\n\v\f\r";
    Require(trimmed.find(name.front()) == std::string::npos && trimmed.find(name.back()) == std::string::npos,
            "name not trimmed");
    const std::size_t length = name.size();
    MakeValidFolderName(name);
    Require(name.size() == length, "cleaning changed the length");
    Require(name.find_first_of("\\/:*?\"<>|.") == std::string::npos, "forbidden character left");

    const std::string outputDir = "/srv/boeken/";
    const std::string path = MakeDestinationPath(outputDir, name);
    Require(path.compare(0, outputDir.size(), outputDir) == 0, "path outside the output folder");
    const std::string folder = path.substr(outputDir.size());
    Require(!folder.empty() && folder.find('/') == std::string::npos && folder != "." && folder != "..",
            "not exactly one folder");
    Require(IsValidUtf8(folder), "folder name is not valid UTF-8");
    return 0;
}
