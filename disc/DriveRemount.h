// Mounting a drive anew, as a file manager does when its user unmounts a
// stick and plugs it in again: through GIO's volume monitor, which asks
// udisks2. A drive served through FUSE (exFAT through exfat-fuse, NTFS
// through ntfs-3g) then gets a new run of its program, whose cache of the
// device starts empty, and the kernel drops the device's own pages with
// the last close of the device: what is read next comes from the stick.
#pragma once

#include "disc/DiscLocator.h"
#include "posix/Failure.h"

#include <string>

namespace disc {

// Unmounts the drive mounted at mountPoint and mounts it again, each step
// bounded in time; the GIO part runs on the default main context (see
// GioWait.h), so with GioLoop::Window never call this on the window's
// thread. mountedAt: where the drive is mounted afterwards, mountPoint
// itself when it was not unmounted (the failure says why: ENODEV when no
// device is mounted there, or the volume monitor knows no volume for it,
// as without udisks2), "" when it is not mounted any more. Whether it was
// unmounted and where it came back is read from the kernel's mount table,
// not from GIO's view, which its signals may bring up to date only later.
// Nothing is unmounted that GIO could not mount again.
posix::Failure RemountDrive(GioLoop loop, const std::string& mountPoint, std::string& mountedAt);

} // namespace disc
