#include "naming/FolderName.h"

#include "text/BookText.h"
#include "text/Ascii.h"
#include "text/Utf8.h"

#include <algorithm>

namespace {

constexpr std::string_view kSeparator = " - ";
constexpr std::string_view kSingleDisc = "1 of 1";
constexpr std::string_view kTrimmed = " \t\n\v\f\r";
constexpr std::string_view kForbidden = "\\/:*?\"<>|.";

bool IsContinuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void TrimBlanks(std::string& text)
{
    const std::size_t last = text.find_last_not_of(' ');
    text.erase(last == std::string::npos ? 0 : last + 1);
    text.erase(0, std::min(text.find_first_not_of(' '), text.size()));
}

} // namespace

FolderNameParts ComposeFolderNameParts(std::int32_t useIdentifier, std::int32_t useTitle, std::int32_t useCreator,
                                       const CMetaList& metaList)
{
    FolderNameParts parts;
    std::string& before = parts.beforeTitle;
    if (useIdentifier != 0) {
        before += metaList.GetMeta("dc:identifier", false);
        if (before.empty())
            before += metaList.GetMeta("ncc:identifier", false);
    }
    // The separator goes in before the part is looked up, and the emptiness
    // test sees the untrimmed name: an empty part still leaves " - " behind.
    if (useTitle != 0) {
        if (!before.empty())
            before += kSeparator;
        parts.title = metaList.GetMeta("dc:title", false);
    }
    std::string& after = parts.afterTitle;
    if (useCreator != 0) {
        if (!before.empty() || !parts.title.empty())
            after += kSeparator;
        std::string author = metaList.GetMeta("dc:creator", false);
        if (author.empty())
            author = metaList.GetMeta("ncc:creator", false);
        after += author;
    }
    const std::string set = metaList.GetMeta("ncc:setInfo", true);
    if (!set.empty() && !EqualIgnoringAsciiCase(set, kSingleDisc)) {
        after += kSeparator;
        after += set;
    }
    return parts;
}

void MakeValidFolderName(std::string& name)
{
    std::size_t out = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        // Control characters are allowed in a Linux file name but not in a
        // Windows one, and a line break, an escape or an invisible C1 code
        // in a folder name confuses every listing and screen reader that
        // shows it. A NUL would cut the path.
        if (kForbidden.find(name[i]) != std::string_view::npos || byte < 0x20 || byte == 0x7F) {
            name[out++] = '_';
        } else if (byte == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F &&
                   IsContinuation(name[i + 1])) {
            name[out++] = '_';
            ++i;
        } else {
            name[out++] = name[i];
        }
    }
    name.resize(out);
}

std::string MakeDestinationPath(std::string_view outputDir, std::string_view validName)
{
    // A valid name holds no '/' and no '.', so it can be neither a path nor
    // "." or ".."; the check guards against a caller that skipped the
    // cleaning, and against a NUL, which would cut the path short.
    if (outputDir.empty() || validName.empty() || validName.find_first_of(std::string_view("/\0", 2)) != std::string_view::npos ||
        validName == "." || validName == ".." || !IsValidUtf8(validName))
        return std::string();
    std::string path(outputDir);
    if (path.back() != '/')
        path.push_back('/');
    path += validName;
    return path;
}

FittedFolderName FitFolderName(const FolderNameParts& parts, std::string_view outputDir, const NameLimits& limits)
{
    FittedFolderName result;
    // Trimming works on the joined name, so a blank title lets the trim
    // reach into the stretches around it; each stretch keeps what is left
    // of it.
    const std::string joined = parts.beforeTitle + parts.title + parts.afterTitle;
    const std::size_t first = joined.find_first_not_of(kTrimmed);
    if (first == std::string::npos || outputDir.empty())
        return result;
    const std::size_t end = joined.find_last_not_of(kTrimmed) + 1;
    const auto clamp = [&](std::size_t at) { return std::clamp(at, first, end); };
    const std::size_t titleBegin = clamp(parts.beforeTitle.size());
    const std::size_t titleEnd = clamp(parts.beforeTitle.size() + parts.title.size());
    std::string before = joined.substr(first, titleBegin - first);
    std::string title = joined.substr(titleBegin, titleEnd - titleBegin);
    std::string after = joined.substr(titleEnd, end - titleEnd);
    // Replacing works character by character, so it may be done stretch by
    // stretch; afterwards the only white space left is the blank.
    MakeValidFolderName(before);
    MakeValidFolderName(title);
    MakeValidFolderName(after);

    const std::size_t folderBytes = outputDir.size() + (outputDir.back() == '/' ? 0 : 1);
    const std::size_t reserved = folderBytes + kNumberRoom + 1; // the path's terminating NUL
    const std::size_t byPath = limits.maxPathBytes > reserved ? limits.maxPathBytes - reserved : 0;
    const std::size_t byName = limits.maxNameBytes > kNumberRoom ? limits.maxNameBytes - kNumberRoom : 0;
    const std::size_t budget = std::min(byPath, byName);

    std::string name = before + title + after;
    result.fit = FolderNameFit::Fits;
    if (name.size() > budget) {
        const std::size_t others = before.size() + after.size();
        title = std::string(CutAtCharacter(title, others < budget ? budget - others : 0));
        name = before + title + after;
        TrimBlanks(name);
        if (name.empty() || name.size() > budget) {
            result.fit = FolderNameFit::TooLong;
            return result;
        }
        result.fit = FolderNameFit::Shortened;
    }
    result.path = MakeDestinationPath(outputDir, name);
    if (result.path.empty()) {
        result.fit = FolderNameFit::NoName;
        return result;
    }
    result.name = std::move(name);
    return result;
}
