// The book check: everything a book refers to, and whether each is there
// and whole. It runs on a disc before the copy (reading the book's text
// files and the first few kilobytes of each audio file: it judges only
// what it can know from those) and on the copy afterwards, through the
// same IBookFileAccess, where every byte of the audio is walked (or was,
// as the copy read it).
//
// DAISY 2.02: the NCC's links to SMIL files, and in each SMIL its audio
// (long enough for the last clip), text and images; master.smil is
// tolerated. DAISY 3: the package file's manifest, the chapter names from
// the navigation file, and the audio of the SMIL files. A disc with
// several books (discinfo.html): each book on its own. References that
// leave the book ("../", absolute paths, other schemes) are reported and
// never followed.
#pragma once

#include "check/AudioWalk.h"
#include "check/BookFiles.h"

#include <string>
#include <vector>

namespace check {

enum class Grade
{
    Fatal,    // a part of the book cannot be played: it is incomplete
    Warning,  // plays here, but may not everywhere, or lacks its text
    Note      // worth knowing, harms nothing
};

// What the file is to the book; the grade of a fault follows from it.
enum class Role
{
    BookFile,  // ncc.html, the package file, the navigation file
    Smil,
    Audio,
    Text,      // the text a SMIL shows with its audio
    Other      // images, style sheets, anything else referred to
};

enum class Kind
{
    Missing,        // not there under any letter case
    CaseOnly,       // there only when letter case is ignored (works on a CD or FAT stick, not on a Linux drive)
    NotAFile,       // a folder, link or device under that name
    Empty,
    Unreadable,     // reading it failed (error)
    Damaged,        // a SMIL, NCC or package file the reader refuses
    Truncated,      // audio shorter than the last clip that uses it
    Unplayable,     // audio with a stretch that plays nothing (zeros, garbage) before its last clip ends
    UnknownLength,  // audio in a format the check cannot measure
    OutsideBook,    // a reference that leaves the book; not followed
    Unreferenced,   // a file of the book that nothing refers to
};

struct Finding
{
    Grade grade = Grade::Note;
    Kind kind = Kind::Missing;
    Role role = Role::Other;
    std::string book;      // on a disc with several books the book's name (UTF-8), else ""
    std::string chapter;   // the heading of the chapter it belongs to (UTF-8), "" when none
    std::string file;      // relative to the checked folder; as written for OutsideBook
    std::string actual;    // CaseOnly: the name that is there
    double seconds = 0;       // Truncated: how long the audio is; Unplayable: where the stretch starts
    double neededSeconds = 0; // Truncated: how long its last clip needs it to be; Unplayable: about how long the stretch is
    int error = 0;            // Unreadable: the errno value
    // Judged from the bytes as the copy read them from its source (the
    // walk the copy made, CheckOptions::walked): a fault of the disc,
    // not of the copy.
    bool fromSource = false;
};

struct CheckReport
{
    std::vector<Finding> findings;  // fatal first, then warnings, then notes
    std::vector<std::string> files; // every file the book refers to that is there, as stored, the book file first
    // Audio files whose length their head does not declare (reading only
    // the head): not judged yet, and so not proven whole either.
    std::vector<std::string> unmeasured;

    bool HasFatal() const;
};

// How the check reads the audio.
enum class AudioReading
{
    Head,  // the first kilobytes: only a length the file declares exactly is held against the clips
    Whole  // every byte, walked: exact lengths and damage
};

struct CheckOptions
{
    AudioReading audio = AudioReading::Head;
    // With Whole: walks made already (as the copy read the files), by path
    // relative to files' root; a file found here is not read again.
    const WalkedAudio* walked = nullptr;
    // Where the files are read from the file system: once true, nothing
    // more is read (the findings are then of no use to anyone).
    const std::atomic<bool>* stop = nullptr;
};

// A clip may end this much after the end of its audio: clock values
// written in whole seconds are up to half a second late, and a decoder may
// drop the last frame (at most 0.072 s). Anything more is a cut file.
inline constexpr double kClipEndTolerance = 0.6;

// Checks the book whose ncc.html or package file is bookFile (relative to
// files' root, as stored); the book is the folder holding it. bookName goes
// into each finding's book.
CheckReport CheckBook(IBookFileAccess& files, const std::string& bookFile, const std::string& bookName = {},
                      const CheckOptions& options = {});

// Checks what a disc holds, told by its book file at the root: ncc.html or
// a package file (one book) or discinfo.html (each book it lists, named by
// its link's text or else its folder). Files at the root that belong to no
// book are not reported: they are not part of any book and are not copied.
CheckReport CheckDisc(IBookFileAccess& files, const std::string& rootBookFile, const CheckOptions& options = {});

// Where the check ran, for the texts.
enum class Place
{
    Disc,
    Copy
};

// One Dutch sentence for a finding, e.g. "Hoofdstuk 12 ontbreekt op de CD
// (smil0012.smil)." Always valid UTF-8; odd bytes in names show as \xNN.
std::string DescribeFinding(const Finding& finding, Place place);

// What the check before the copy says when it found no fault in books
// books: "volledig" only when every audio length was proven; else that the
// copy will tell.
std::string NothingMissingSentence(std::size_t books, bool unmeasured);

// The inspector's lines (talvora-ncc --controleer): that it reads the
// audio through; that a path is not there; that a path is no book file
// nor a folder holding one.
std::string WholeAudioReadLine();
std::string PathNotThereLine();
std::string NoBookFileLine();

// "fout", "waarschuwing", "opmerking".
const char* GradeWord(Grade grade);

} // namespace check
