// The station's Dutch sentences, in one place: its log's outcome words and
// every message a row carries that the copy's own texts do not make.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace station::text {

std::string BookNotOnDisc(const std::string& name);
std::string BookFileUnreadable(const std::string& reason);
std::string NameTooLong();
std::string NoName();
std::string SameFolder();
std::string CannotList();
std::string DiscInfoUnreadable();
std::string LogNotUpdated(int error);

// The disc's every file has the same SHA-256 as the archived copy's
// manifest and the copy itself.
std::string AlreadyThere(const std::string& folder);
// Same names and sizes as folder, other bytes: this disc got a folder of
// its own.
std::string OtherEdition(const std::string& folder);
// The archived copy at folder no longer matched its manifest in files
// (paths); the copy of this disc replaced it.
std::string ArchiveReplaced(const std::string& folder, const std::vector<std::string>& files);
// ... and could not be replaced: why (the copy's message).
std::string ArchiveNotReplaced(const std::string& folder, const std::vector<std::string>& files,
                               const std::string& why);
std::string ManifestNotWritten(const std::string& folder, int error);

// The drive written to failed midway (full), error the first error;
// bytes the book, free what the drive had when the copy began (folder:
// what was kept of the book, "" when nothing).
std::string DriveFailed(const std::string& outputDir, int error, std::uint64_t bytes, std::uint64_t free,
                        const std::string& folder);

// Bags.
std::string BagNotWritten(const std::string& folder, int error);
std::string BagNameNotUtf8(const std::string& folder, const std::string& path);
std::string BagDiscDefect(const std::vector<std::string>& faults);
std::string BagIncomplete(const std::string& folder, const std::vector<std::string>& missing);

// Links on the disc: resolved ones became copies of the file they lead
// to, the others were left out.
std::string LinksTaken(const std::vector<std::string>& resolved, const std::vector<std::string>& leftOut);

} // namespace station::text
