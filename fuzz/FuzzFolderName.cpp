// Names a folder from arbitrary metadata and checks that the result can
// only ever be one folder directly below the output folder, that it fits
// Linux's limits with room for "_NNN", and that fitting shortens nothing
// but the title.
//
// Input layout: the first byte holds the three switches (bits 0 to 2) and
// the length of the output folder (bits 3 to 7, in steps of 128 bytes);
// the rest is a list of name and content strings, each ended by a NUL
// byte. The strings are decoded as the reader decodes a book's text.
#include "text/BookText.h"
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

constexpr const char* kTrimmed = " \t\n\v\f\r";

bool HasText(const std::string& text)
{
    return text.find_first_not_of(kTrimmed) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const int switches = data[0] & 7;
    CMetaList list;
    std::string fields[2];
    int field = 0;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] != 0) {
            fields[field].push_back(static_cast<char>(data[i]));
            continue;
        }
        if (++field == 2) {
            list.Append(CMetaItem{DecodeBookText(fields[0]), DecodeBookText(fields[1])});
            fields[0].clear();
            fields[1].clear();
            field = 0;
        }
    }

    const std::string outputDir = "/srv/" + std::string(static_cast<std::size_t>(data[0] >> 3) * 128, 'b') + "/";
    const FolderNameParts parts = ComposeFolderNameParts(switches & 1, switches & 2, switches & 4, list);
    const FittedFolderName fitted = FitFolderName(parts, outputDir);

    // The whole name, joined and trimmed, as the fitting must keep it when
    // it fits.
    std::string name = parts.beforeTitle + parts.title + parts.afterTitle;
    name.erase(name.find_last_not_of(kTrimmed) + 1);
    name.erase(0, std::min(name.find_first_not_of(kTrimmed), name.size()));
    if (name.empty()) {
        Require(fitted.fit == FolderNameFit::NoName && fitted.path.empty(), "a name from nothing");
        return 0;
    }
    Require(std::string(kTrimmed).find(name.front()) == std::string::npos &&
                std::string(kTrimmed).find(name.back()) == std::string::npos,
            "name not trimmed");
    MakeValidFolderName(name);
    Require(name.find_first_of("\\/:*?\"<>|.") == std::string::npos, "forbidden character left");
    Require(fitted.fit != FolderNameFit::Fits || fitted.name == name, "a name that fits was changed");
    if (fitted.fit == FolderNameFit::TooLong || fitted.fit == FolderNameFit::NoName) {
        Require(fitted.path.empty(), "a path for a refused name");
        return 0;
    }

    const std::string& folder = fitted.name;
    Require(fitted.path == outputDir + folder, "path is not output folder and name");
    Require(!folder.empty() && folder.find('/') == std::string::npos && folder != "." && folder != "..",
            "not exactly one folder");
    Require(IsValidUtf8(folder), "folder name is not valid UTF-8");
    Require(folder.front() != ' ' && folder.back() != ' ', "blank at an end of the name");
    Require(folder.size() + kNumberRoom <= 255, "no room for a number in the name");
    Require(fitted.path.size() + kNumberRoom + 1 <= 4096, "no room for a number in the path");
    if (fitted.fit == FolderNameFit::Shortened) {
        // What stands before and after the title survives whole.
        std::string before = parts.beforeTitle;
        before.erase(0, std::min(before.find_first_not_of(kTrimmed), before.size()));
        MakeValidFolderName(before);
        before.erase(before.find_last_not_of(' ') + 1);
        std::string after = parts.afterTitle;
        after.erase(after.find_last_not_of(kTrimmed) + 1);
        MakeValidFolderName(after);
        after.erase(0, std::min(after.find_first_not_of(' '), after.size()));
        if (HasText(parts.title + parts.afterTitle))
            Require(folder.compare(0, before.size(), before) == 0, "identifier shortened");
        if (HasText(parts.beforeTitle + parts.title))
            Require(folder.size() >= after.size() && folder.compare(folder.size() - after.size(), after.size(), after) == 0,
                    "author or set information shortened");
    }
    return 0;
}
