// The name of the folder that receives a book, made from its metadata.
//
// Pure string work on 8-bit Windows-1252 text, as the reader delivers it;
// no platform calls. Only AnsiToUtf8 produces UTF-8, for paths and display.
#pragma once

#include "book/MetaList.h"

#include <cstdint>
#include <string>
#include <string_view>

// Identifier, title and author as the switches ask (each on when not 0),
// joined by " - ", then the set information of a multi-disc book unless it
// reads "1 of 1"; trimmed of blanks and control white space at both ends.
// An empty result means no name can be made.
std::string MakeFolderName(std::int32_t useIdentifier, std::int32_t useTitle, std::int32_t useCreator,
                           const CMetaList& metaList);

// Replaces, in place and without changing the length, every character a
// folder name cannot hold by '_': \ / : * ? " < > | and the full stop, and
// also the control characters 0x00 to 0x1F and 0x7F.
void MakeValidFolderName(std::string& name);

// Windows-1252 to UTF-8. The five bytes that Windows-1252 leaves undefined
// (0x81 0x8D 0x8F 0x90 0x9D) become the code points of the same number.
std::string AnsiToUtf8(std::string_view ansi);

// The destination folder: outputDir (UTF-8, normally ending in '/') and the
// valid name converted to UTF-8, with one '/' between them. Returns "" for
// an empty outputDir, an empty name or a name that is not a single folder
// name, so the result is always exactly one folder directly below
// outputDir, or nothing.
std::string MakeDestinationPath(std::string_view outputDir, std::string_view validName);
