// One disc in one drive, handled without a question: each book on it is
// looked up in the output folder, copied in numbering mode when it is not
// there whole already, and logged with one row.
#pragma once

#include "copy/CopyJob.h"
#include "settings/Settings.h"
#include "station/ArchiveLog.h"
#include "station/HashingEngine.h"
#include "station/NameReservations.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <map>
#include <string>
#include <vector>

namespace copy {
class CCopyEngine;
}

namespace copy::publish {
struct Layout;
}

namespace station {

// The copy of one book. The station passes ::CopyBook; the place where a
// book check before and a read-back check after the copy come in. layout:
// a bag's, or nullptr for a plain folder.
using BookCopier = std::function<copy::CopyReport(const std::string& discRoot, const std::string& destPath,
                                                     const CSettings& settings, copy::IFileOperations& ops,
                                                     const copy::publish::Layout* layout)>;

// What every worker shares; nothing in it belongs to one book.
struct StationSetup
{
    // The naming switches come from Talvora's settings; the station sets
    // numbering mode and the straight copy itself.
    CSettings settings;
    std::string outputDir;  // absolute, ending in '/'
    bool bagit = false;
    BookCopier copier;      // empty: ::CopyBook
    // Makes what paces one book's reading from the disc (the copy's and
    // the hashing of a disc that may be archived already); empty: nothing.
    // Benchmarks and tests slow the reading down with it.
    std::function<DiscPace()> makePace;
    // Makes the engine one book is copied with; empty: CHashingEngine
    // itself. Tests give it a drive of their own.
    std::function<std::unique_ptr<CHashingEngine>(const std::string& sourceRoot, DiscPace pace)> makeEngine;
};

// The settings a station copy runs with: Talvora's naming, numbering mode
// (never a question), no temporary folder (one run at a time holds it).
CSettings StationSettings(const CSettings& settings);

// A file of a book and its size, relative to the book's folder.
struct ListedFile
{
    enum class Kind { Regular, Link, Other };
    std::string path;
    std::uint64_t size = 0;
    Kind kind = Kind::Regular;
    bool operator==(const ListedFile& other) const { return path == other.path && size == other.size; }
};

// Where the link at rel (relative to folder) leads, relative to folder,
// when it stays inside it; "" when it leads out (an absolute target, or
// ".." past the top) or cannot be read.
std::string LinkInside(const std::string& folder, const std::string& rel);

// What became of a copy's links: one that leads to a regular file inside
// the book is now a copy of that file; every other one is left out.
struct TakenLinks
{
    std::vector<std::string> resolved;
    std::vector<std::string> leftOut;
};

// Replaces the links below folder as TakenLinks says, so that no link in
// the archive points anywhere; a resolved one takes its target's hash.
TakenLinks TakeInLinks(const std::string& folder, std::map<std::string, FileHash>& hashes);

// Every regular file below folder with its size, in byte order of paths;
// links and other kinds are listed with size 0. False when folder cannot
// be read.
bool ListFiles(const std::string& folder, std::vector<ListedFile>& files);

// An archived copy of a book: a folder in the output folder, a plain copy
// (its manifest beside it) or a bag (the copy in data/).
struct ArchivedFolder
{
    std::string folder;  // full path
    bool bag = false;
};

// The folders at destPath or one of its numbered variants that hold
// exactly these files and sizes: the only ones that can be this disc.
// Whether they are is for the bytes to say.
std::vector<ArchivedFolder> SameNamesAndSizes(const std::string& destPath, const std::vector<ListedFile>& disc);

// Handles the disc at root (ending in '/'), shown as drive; one row per
// book, each also passed to done as soon as it is written. cancel stops a
// copy as soon as its current read returns.
std::vector<LogRow> ArchiveDisc(const std::string& root, const std::string& drive, const StationSetup& setup,
                                CNameReservations& names, const std::atomic<bool>& cancel,
                                const std::function<void(const LogRow&)>& done);

} // namespace station
