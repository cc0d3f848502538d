// Text taken from a book, as UTF-8.
//
// NCCs are burnt by many programs: most write UTF-8, older ones Windows-1252
// whatever they declare, and TinyXML hands over the bytes without
// converting them. The program keeps every book text in UTF-8, the
// encoding of Linux paths and of the screen.
#pragma once

#include "text/Utf8.h"

#include <string>
#include <string_view>

// text unchanged when it is valid UTF-8, otherwise read as Windows-1252.
// The five bytes Windows-1252 leaves undefined (0x81 0x8D 0x8F 0x90 0x9D)
// become the control characters of the same number. Never fails; the
// result is always valid UTF-8, and Latin-1 letters come out the same
// whichever of the two encodings they were written in.
std::string DecodeBookText(std::string_view text);
