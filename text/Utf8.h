// UTF-8, the encoding of every text the program keeps and of Linux paths,
// which are nonetheless free to hold any bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The length of the well-formed UTF-8 character at the start of text
// (shortest form only, no surrogate halves, nothing above U+10FFFF), or 0
// when none starts there.
std::size_t Utf8CharLength(std::string_view text);

// True when text is well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view text);

// text for showing to the user: valid UTF-8 unchanged, every byte that is
// not part of a well-formed character written as \xNN, so that a path never
// shows as nothing.
std::string ShownText(std::string_view text);

// text cut to at most maxBytes at a character boundary, without the blanks
// the cut leaves at its end; text that fits is returned whole.
std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes);

// text with every letter in lower case, as a file system that ignores
// letter case compares names ("Het Boek" is "het boek" on a FAT stick);
// the same in every locale. Bytes that are not well-formed UTF-8 stay.
std::string FoldLetterCase(std::string_view text);
