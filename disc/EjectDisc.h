// Opens the tray of the drive a book was copied from.
#pragma once

#include <chrono>
#include <string>

// Silent and without a result; returns within a bounded time whatever the
// drive, the desktop's services or the disc do. Nothing happens for a disc
// image, a folder given through TALVORA_DRIVES, or anything not mounted.
void EjectDisc(const std::string& discRoot);

namespace disc::tray {

enum class GioOutcome {
    NoMount,  // GIO knows no mount with this root
    Refused,  // the mount cannot be ejected safely this way
    Ejected,
    Failed,
    TimedOut, // abandoned; the operation may still finish later
};

// Ejects the GIO mount whose root is root, waiting at most timeout. Runs the
// default main context until then, as a modal window would.
GioOutcome EjectThroughGio(const std::string& root, std::chrono::milliseconds timeout);

// The CDROMEJECT ioctl on device, abandoned after timeout. True when the
// kernel reported success in time.
bool EjectThroughIoctl(const std::string& device, std::chrono::milliseconds timeout);

} // namespace disc::tray
