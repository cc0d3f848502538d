// One disc in one drive, handled without a question: each book on it is
// looked up in the output folder, copied in numbering mode when it is not
// there whole already, and logged with one row.
#pragma once

#include "copy/CopyJob.h"
#include "settings/Settings.h"
#include "station/ArchiveLog.h"
#include "station/NameReservations.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace copyops {
class CCopyEngine;
}

namespace publish {
struct Layout;
}

namespace station {

// The copy of one book. The station passes ::CopyBook; the place where a
// book check before and a read-back check after the copy come in. layout:
// a bag's, or nullptr for a plain folder.
using BookCopier = std::function<copyjob::CopyReport(const std::string& discRoot, const std::string& destPath,
                                                     const CSettings& settings, copyjob::IFileOperations& ops,
                                                     const publish::Layout* layout)>;

// What every worker shares; nothing in it belongs to one book.
struct StationSetup
{
    // The naming switches come from Talvora's settings; the station sets
    // numbering mode and the straight copy itself.
    CSettings settings;
    std::string outputDir;  // absolute, ending in '/'
    bool bagit = false;
    BookCopier copier;      // empty: ::CopyBook
    // Makes the engine one copy runs on; empty: the plain engine (or the
    // hashing one for bags). Benchmarks slow it down.
    std::function<std::unique_ptr<copyops::CCopyEngine>()> makeEngine;
};

// The settings a station copy runs with: Talvora's naming, numbering mode
// (never a question), no temporary folder (one run at a time holds it).
CSettings StationSettings(const CSettings& settings);

// A file of a book and its size, relative to the book's folder.
struct ListedFile
{
    std::string path;
    std::uint64_t size = 0;
    bool operator==(const ListedFile&) const = default;
};

// Every regular file below folder with its size, in byte order of paths;
// links and other kinds are listed with size 0. False when folder cannot
// be read.
bool ListFiles(const std::string& folder, std::vector<ListedFile>& files);

// The folder (leaf name) in outputDir that holds this book whole already:
// the name or one of its numbered variants, as a plain copy or as a bag's
// data/, with exactly these files and sizes. "" when none does.
std::string ArchivedCopy(const std::string& destPath, const std::vector<ListedFile>& disc);

// Handles the disc at root (ending in '/'), shown as drive; one row per
// book, each also passed to done as soon as it is written. cancel stops a
// copy as soon as its current read returns.
std::vector<LogRow> ArchiveDisc(const std::string& root, const std::string& drive, const StationSetup& setup,
                                CNameReservations& names, const std::atomic<bool>& cancel,
                                const std::function<void(const LogRow&)>& done);

} // namespace station
