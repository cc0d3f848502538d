// The copy layer's Dutch texts: reasons for system errors and what the copy
// job tells the user. Paths may hold any bytes; the texts show them
// readably (ShownText) and are always valid UTF-8.
#pragma once

#include "copy/CopyEngine.h"
#include "posix/Failure.h"

#include <cstdint>
#include <string>
#include <vector>

namespace copy {
struct CopyReport;
struct Refusal;
}

namespace copy::text {

// What the user is told of how a book's copy ended, made from the report's
// value alone: why it was refused, what failed, what the copy or the disc
// lacks, what a cancel left; "" for a whole book.
std::string Told(const copy::CopyReport& report);

// Why a copy was refused; nothing was written.
std::string Refused(const copy::Refusal& refusal);

// The line after the done message of a whole book that was read back; ""
// when it was not.
std::string ReadBackLine(const copy::CopyReport& report);

// A book copied as its disc holds it, while the disc itself lacks parts of
// it: faults says chapter by chapter what; keptIn the book's folder.
std::string DiscLacks(const std::vector<std::string>& faults, const std::string& keptIn);

// A book that does not fit on the drive of folder: need bytes, room free.
std::string NoRoom(const std::string& folder, std::uint64_t need, std::uint64_t room);

// What the user is told of a failure: the disc's side as a read error, the
// drive written to (named by drive, where it is mounted) as a write error,
// a letter-case clash as such.
std::string Reason(const posix::Failure& failure, const std::string& drive);

// Dutch words for an errno value, with its number for support.
std::string DescribeError(int error);

// The reason for the error question when reading the disc failed.
std::string ReadError(int error);

// The reason when writing, renaming or flushing on the drive the copy goes
// to failed; drive names that drive (where it is mounted).
std::string WriteError(int error, const std::string& drive);

// After the data could not be flushed to the drive. existingFolder as for
// Cancelled.
std::string NotFlushed(const std::string& drive, const std::string& existingFolder);

// A file of the disc that the drive's file system cannot hold (FAT32 takes
// no file of 4 GB or more).
std::string FileTooLargeForDrive(const std::string& file, const std::string& outputFolder);

// The reason given when a file of the disc would land on one that this copy
// already wrote under another name (letter case on a stick that ignores it).
std::string NameClash(const std::string& writtenName);

std::string PathTooLong(const std::string& path);
std::string NotAbsolute(const std::string& outputFolder);
std::string OutputNotFolder(const std::string& outputFolder);
std::string OutputParentMissing(const std::string& outputFolder);
// The output folder is the empty mount point of a stick that is not plugged
// in, or is missing in such a one (parent), or is missing where drives are
// mounted, on the system disk.
std::string OutputOnEmptyMountPoint(const std::string& outputFolder);
std::string OutputMissingOnEmptyMountPoint(const std::string& outputFolder, const std::string& parent);
std::string OutputMissingOffDrive(const std::string& outputFolder);
std::string CannotPrepare(const std::string& folder, int error);
std::string AllNumbersTaken(const std::string& destPath);
std::string TargetNotFolder(const std::string& target);
std::string TempNotSet();
std::string TempNotOwnFolder(const std::string& tempFolder);
std::string TempBusy(const std::string& tempFolder);
// Why the temporary folder (failure.path) could not be taken.
std::string TempRefused(const posix::Failure& failure);
// The whole book was copied but could not be given its name, target.
std::string NotPublished(const std::string& target, const std::string& reason);
std::string OutputInsideTemp(const std::string& outputFolder, const std::string& tempFolder);
std::string TempInsideTarget(const std::string& tempFolder, const std::string& target);

// The progress window's title while the files an incomplete copy in folder
// keeps are read back before it is completed.
std::string ProvingKept(const std::string& folder);

// The progress window's titles while drive is mounted anew, so that its
// FUSE program reads the stick itself, and while the copy is read back
// from it then.
std::string Remounting(const std::string& drive);
std::string ReadingBack(const std::string& drive);

// Mounted anew to read the copy back, drive did not come back; reason:
// why. existingFolder: the folder that existed and was written into, ""
// for a new book (then it got no name).
std::string DriveGone(const std::string& drive, const std::string& existingFolder, const std::string& reason);

// After a cancel: what is left. existingFolder is "" when the book was new
// (then nothing is left), else the folder that existed and was written into.
std::string Cancelled(const std::string& existingFolder);

// After a copy that is not the whole book. faults: the book check's
// sentences ("Hoofdstuk 12 ontbreekt op de CD (...)."); skipped: files the
// user skipped; different: files that read back from drive differently
// than the disc gave them; keptIn: the folder that holds what was copied,
// "" when nothing was kept. secondChance: copying the disc again into the
// same folder completes the book.
std::string NotWhole(const std::vector<std::string>& faults, const std::vector<std::string>& skipped,
                     const std::vector<std::string>& different, const std::string& drive, const std::string& keptIn,
                     bool secondChance);
// The same, where noRoom (part of skipped) are the files the drive written
// to had no room for: they are blamed on drive, with need and room (bytes;
// need 0 when unknown), never on the disc.
std::string NotWhole(const std::vector<std::string>& faults, const std::vector<std::string>& skipped,
                     const std::vector<std::string>& different, const std::vector<std::string>& noRoom,
                     std::uint64_t need, std::uint64_t room, const std::string& drive, const std::string& keptIn,
                     bool secondChance);

// The line after the done message when every file was read back from
// drive and found equal.
std::string ReadBackEqual(const std::string& drive);

// The line instead when an earlier copy was completed: the files copied now
// were read back from drive and found equal, those kept were not compared.
std::string ReadBackCopiedOnly(const std::string& drive);

// The line after the done message when every file read back equal but
// not from drive's device itself (readBack.state NotFromDevice): that the
// copy could not be read back from the stick itself, and why.
std::string ReadBackNotFromDevice(const std::string& drive, const copy::ReadBackResult& readBack);

} // namespace copy::text
