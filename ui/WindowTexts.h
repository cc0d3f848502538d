// The windows' own Dutch sentences (the copy window's, for now), in one
// place. Texts the design quotes stay with the window that shows them.
#pragma once

#include "check/BookCheck.h"
#include "copy/CopyJob.h"

#include <wx/string.h>

#include <cstddef>
#include <string>
#include <vector>

namespace ui::text {

// The settings window's own words (the ones the design quotes stay with
// the window, as it builds them).
extern const char* const kNotSaved;
extern const char* const kFirstRunSaved;
extern const char* const kNotAbsolute;

extern const char* const kUnreadablePackage;
extern const char* const kUnreadableIndex;
extern const char* const kNameTooLong;

// Why a listed book is not copied.
extern const char* const kNotFound;
extern const char* const kUnreadable;
extern const char* const kSameFolder;

// "Deze Daisy-CD bevat 2 Daisy-boeken."
wxString BookCount(std::size_t count);
// A book's name from a disc index (maybe in an 8-bit encoding), quoted.
wxString BookName(const std::string& name);
// The books of a disc that cannot be copied, one name a line.
wxString RefusedBooks(const std::vector<std::string>& names);
// "Boek 2 van 3"
wxString Position(std::size_t index, std::size_t count);
// How one book of a disc's copy ended, with what its check found.
wxString Verdict(const copy::CopyReport& report);
wxString CheckVerdict(const copy::CopyReport& report);
wxString NotTried();
wxString NotAllCopied();

// What the start button tells a screen reader once the book is found:
// "Kopieert ‘<title>’ naar <destination>", for a disc of several books
// "Kopieert <books> Daisy-boeken naar <output folder>"; empty before.
wxString StartDescription(const wxString& title, const wxString& destination, std::size_t books = 0);

// What the book check found on the disc, as the copy window says it before
// the copy: that the book is whole, or that it is not and why (the first
// few fatal findings). One report per book to copy, with its title; on a
// disc of several books each finding names its book.
wxString CheckSummary(const std::vector<check::CheckReport>& checks, const std::vector<std::string>& titles);

// The check line while the check reads the disc, and when the copy
// starts by itself and checks the disc as it copies.
wxString Checking();
wxString CheckedDuringCopy();

// Before the copy: an earlier copy of the book stayed incomplete in
// `folder`, and the copy completes it, reading only `missing` files from
// the disc (0: not noted, only what the folder lacks).
wxString Completes(const std::string& folder, std::size_t missing);
// After it: the book is whole now, in `folder`, under its own name.
wxString NowWhole(const std::string& folder);

} // namespace ui::text
