// The name of the folder that receives a book, made from its metadata.
//
// Pure string work on UTF-8 text, as the reader delivers it; no platform
// calls. The rules (separators, trimming, forbidden characters) work on
// characters, never on parts of one.
#pragma once

#include "text/MetaList.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The composed name in three stretches, untrimmed: what stands before the
// title (identifier and separator), the title, and what follows it
// (separator, author, set information): identifier, title and author as
// the switches ask (each on when not 0), joined by " - ", then the set
// information of a multi-disc book unless it reads "1 of 1". Joined and
// trimmed of blanks and control white space at both ends they are the
// name; the split tells which stretch may be shortened.
struct FolderNameParts
{
    std::string beforeTitle;
    std::string title;
    std::string afterTitle;
};

FolderNameParts ComposeFolderNameParts(std::int32_t useIdentifier, std::int32_t useTitle, std::int32_t useCreator,
                                       const CMetaList& metaList);

// Replaces, in place, every character a folder name cannot hold by '_':
// \ / : * ? " < > | and the full stop, and the control characters (C0,
// DEL and C1, U+0080 to U+009F). The number of characters stays the same;
// the number of bytes shrinks by one for each C1 character.
void MakeValidFolderName(std::string& name);

// The destination folder: outputDir (UTF-8, normally ending in '/') and the
// valid name, with one '/' between them. Returns "" for an empty outputDir,
// an empty name, a name that is not valid UTF-8, or one that is not a
// single folder name, so the result is always exactly one folder directly
// below outputDir, or nothing.
std::string MakeDestinationPath(std::string_view outputDir, std::string_view validName);

// Linux's limits: NAME_MAX bytes in one name, PATH_MAX bytes in a path with
// its terminating NUL.
struct NameLimits
{
    std::size_t maxNameBytes = 255;
    std::size_t maxPathBytes = 4096;
};

// Room kept free behind every name for the copy's numbered variant "_NNN".
inline constexpr std::size_t kNumberRoom = 4;

enum class FolderNameFit
{
    Fits,      // the name as composed
    Shortened, // the title was shortened
    NoName,    // nothing to make a name of, or no output folder
    TooLong,   // too long even without any title
};

struct FittedFolderName
{
    FolderNameFit fit = FolderNameFit::NoName;
    std::string name; // valid folder name, "" unless Fits or Shortened
    std::string path; // MakeDestinationPath of outputDir and name
};

// The whole naming step: joins and trims the parts, refuses an empty name,
// replaces forbidden characters and makes the destination path. When the
// name with room for "_NNN" is longer than a name may be, or makes the path
// longer than a path may be, the title is shortened at a character
// boundary (and loses the blanks the cut leaves at its end), so that the
// identifier, the author and the set information stay whole and the discs
// of a set never get the same name. A name that fits is never changed.
FittedFolderName FitFolderName(const FolderNameParts& parts, std::string_view outputDir,
                               const NameLimits& limits = NameLimits());
