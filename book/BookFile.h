// Which kind of book a file's name makes it: the one decision that the
// drive search, the disc index, the copy window and the inspector share.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum class BookFileKind
{
    Ncc,      // ncc.html: a DAISY 2.02 book
    Package,  // *.opf: a DAISY 3 book
    DiscInfo  // discinfo.html: a disc with several books
};

// The kind a file of this name (no folder) is, whatever its letter case;
// nothing for any other name. Discs written on other systems may store
// the names in capitals; the comparison is ASCII only, so that no locale
// (Turkish "I") changes it.
std::optional<BookFileKind> BookFileKindOfName(std::string_view name);

// The kind of the book file at path, as the disc search chose it; a name
// of no kind is read as an NCC.
BookFileKind KindOfBookFile(const std::string& path);
