// Control identifiers of the windows; the numbers stay those the program
// has always used, so that tests and tools can find controls by them.
#pragma once

namespace ui::ids {

// Settings window.
inline constexpr int kOutputDir = 1000;
inline constexpr int kBrowse = 1001;
inline constexpr int kSave = 1002;
inline constexpr int kUseIdentifier = 1004;
inline constexpr int kUseTitle = 1005;
inline constexpr int kUseCreator = 1006;
inline constexpr int kFolderExample = 1007;
inline constexpr int kEjectWhenDone = 1011;
inline constexpr int kMessageWhenDone = 1012;
inline constexpr int kCopyViaTemp = 1013;
inline constexpr int kAutoStart = 1014;
inline constexpr int kConfirmOverwrite = 1015;
inline constexpr int kAddNumber = 1016;

// Copy window.
inline constexpr int kTitleLine = 1003;
inline constexpr int kDestLine = 1004;
inline constexpr int kStartCopy = 1008;
inline constexpr int kCheckLine = 1009;

} // namespace ui::ids
