#include "naming/FolderName.h"

namespace {

constexpr std::string_view kSeparator = " - ";
constexpr std::string_view kSingleDisc = "1 of 1";
constexpr std::string_view kTrimmed = " \t\n\v\f\r";
constexpr std::string_view kForbidden = "\\/:*?\"<>|.";

// Code points of Windows-1252 0x80 to 0x9F; the five undefined bytes keep
// their own number, as Windows' conversion does.
constexpr char32_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(char32_t code, std::string& out)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

} // namespace

std::string MakeFolderName(std::int32_t useIdentifier, std::int32_t useTitle, std::int32_t useCreator,
                           const CMetaList& metaList)
{
    std::string name;
    if (useIdentifier != 0) {
        name += metaList.GetMeta("dc:identifier", false);
        if (name.empty())
            name += metaList.GetMeta("ncc:identifier", false);
    }
    // The separator goes in before the part is looked up, and the emptiness
    // test sees the untrimmed name: an empty part still leaves " - " behind.
    if (useTitle != 0) {
        if (!name.empty())
            name += kSeparator;
        name += metaList.GetMeta("dc:title", false);
    }
    if (useCreator != 0) {
        if (!name.empty())
            name += kSeparator;
        std::string author = metaList.GetMeta("dc:creator", false);
        if (author.empty())
            author = metaList.GetMeta("ncc:creator", false);
        name += author;
    }
    const std::string set = metaList.GetMeta("ncc:setInfo", true);
    if (!set.empty() && !EqualIgnoringAsciiCase(set, kSingleDisc)) {
        name += kSeparator;
        name += set;
    }

    const std::size_t first = name.find_first_not_of(kTrimmed);
    if (first == std::string::npos)
        return std::string();
    const std::size_t last = name.find_last_not_of(kTrimmed);
    return name.substr(first, last - first + 1);
}

void MakeValidFolderName(std::string& name)
{
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        // Control characters are allowed in a Linux file name but not in a
        // Windows one, and a line break or an escape in a folder name
        // confuses every listing and screen reader that shows it. A NUL
        // (the UTF-8 folding makes one of 0xC0 0x80) would cut the path.
        if (kForbidden.find(c) != std::string_view::npos || byte < 0x20 || byte == 0x7F)
            c = '_';
    }
}

std::string AnsiToUtf8(std::string_view ansi)
{
    std::string out;
    out.reserve(ansi.size() + ansi.size() / 2);
    for (char c : ansi) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            out.push_back(c);
        else if (byte < 0xA0)
            AppendUtf8(kCp1252High[byte - 0x80], out);
        else
            AppendUtf8(byte, out);
    }
    return out;
}

std::string MakeDestinationPath(std::string_view outputDir, std::string_view validName)
{
    // A valid name holds no '/' and no '.', so it can be neither a path nor
    // "." or ".."; the check guards against a caller that skipped the
    // cleaning, and against a NUL, which would cut the path short.
    if (outputDir.empty() || validName.empty() || validName.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos ||
        validName == "." || validName == "..")
        return std::string();
    std::string path(outputDir);
    if (path.back() != '/')
        path.push_back('/');
    path += AnsiToUtf8(validName);
    return path;
}
