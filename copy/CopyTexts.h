// The copy layer's Dutch texts: reasons for system errors and what the copy
// job tells the user. Paths are UTF-8.
#pragma once

#include <string>
#include <vector>

namespace copytext {

// A Dutch reason for an errno value, for the error question.
std::string DescribeError(int error);

// The reason given when a file of the disc would land on one that this copy
// already wrote under another name (letter case on a stick that ignores it).
std::string NameClash(const std::string& writtenName);

std::string PathTooLong(const std::string& path);
std::string NotAbsolute(const std::string& outputFolder);
std::string OutputNotFolder(const std::string& outputFolder);
std::string OutputParentMissing(const std::string& outputFolder);
std::string CannotPrepare(const std::string& folder, int error);
std::string AllNumbersTaken(const std::string& destPath);
std::string TargetNotFolder(const std::string& target);
std::string TempNotSet();
std::string TempNotOwnFolder(const std::string& tempFolder);
std::string TempBusy(const std::string& tempFolder);
std::string OutputInsideTemp(const std::string& outputFolder, const std::string& tempFolder);
std::string TempInsideTarget(const std::string& tempFolder, const std::string& target);

// After a cancel: what is left. existingFolder is "" when the book was new
// (then nothing is left), else the folder that existed and was written into.
std::string Cancelled(const std::string& existingFolder);

// After a copy with files the user skipped. keptIn: the folder that holds
// what was copied, "" when nothing was kept.
std::string Missing(const std::vector<std::string>& paths, const std::string& keptIn);

} // namespace copytext
