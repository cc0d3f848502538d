// What a disc gives to copy, and where each book goes: its one book, or
// the books its index lists, each with its fitted folder or the reason it
// cannot be copied. The copy window and the archive station plan a disc
// alike through this, reading each book file once.
#pragma once

#include "book/DiscBooks.h"
#include "settings/Settings.h"

#include <string>
#include <vector>

namespace copy {

// Why a book of the disc is not copied.
enum class PlanRefusal
{
    None,
    NotOnDisc,   // a listed book whose file is missing or lies off the disc
    Unreadable,  // its book file was refused; the plan keeps the reader's reason
    NoName,      // nothing of its metadata makes a folder name
    NameTooLong, // too long even without its title
    SameFolder,  // an earlier book of this disc gets the same folder
};

struct PlannedBook
{
    std::string folder;   // on the disc, ending in '/': what is copied
    std::string bookFile; // its ncc.html or package file, absolute
    std::string name;     // how messages name it: the index's link text, else its folder; UTF-8
    CBookInfo info;       // title and meta list, when its book file was read
    std::string dest;     // the fitted destination folder; "" when refused
    PlanRefusal refusal = PlanRefusal::None;
    std::string reason;   // the book reader's words, for Unreadable
};

struct DiscPlan
{
    bool listed = false;          // the disc's index lists its books
    bool indexUnreadable = false; // ... but could not be read or names none
    std::vector<PlannedBook> books;
};

// Plans the disc at root (ending in '/') whose book file is bookFile
// (absolute: an ncc.html, a package file or discinfo.html). Folder names
// follow naming's UseIdentifier, UseTitle and UseCreator, below outputDir.
// Two books that would share a folder, also on a drive that ignores letter
// case, would mix into one: the later one is refused.
DiscPlan PlanDisc(const std::string& root, const std::string& bookFile, const CSettings& naming,
                  const std::string& outputDir);

} // namespace copy
