// Finds the optical drive whose root holds a DAISY book's ncc.html.
//
// Linux has no drive letters: the drives are the optical block devices that
// udev knows (or SCSI CD-ROM devices when it knows nothing), followed by
// mounted disc images, each in natural device order (sr2 before sr10). A
// drive counts only while it is mounted; its root is the mount point.
#pragma once

#include <string>
#include <vector>

namespace disc {

// One line of the mount table.
struct MountEntry
{
    std::string source;  // e.g. /dev/sr0
    std::string target;  // the mount point, unescaped
    std::string fsType;  // e.g. iso9660
    std::string fsRoot;  // the part of the file system mounted there; "/" for a whole one
    unsigned major = 0;  // device number of the mounted file system
    unsigned minor = 0;
};

// An optical drive as the device manager lists it.
struct OpticalDrive
{
    std::string devNode; // e.g. /dev/sr0
    unsigned major = 0;
    unsigned minor = 0;
};

// What disc location needs of the system; tests feed fixtures instead.
class IDiscPlatform
{
public:
    virtual ~IDiscPlatform() = default;
    virtual std::vector<OpticalDrive> OpticalDrives() const = 0;
    virtual std::vector<MountEntry> Mounts() const = 0;
};

// The running system: libudev for drives, libmount on /proc/self/mountinfo.
class CSystemDiscPlatform final : public IDiscPlatform
{
public:
    std::vector<OpticalDrive> OpticalDrives() const override;
    std::vector<MountEntry> Mounts() const override;
};

// Reads a mount table in the format of /proc/self/mountinfo through
// libmount. An unreadable table is an empty one.
std::vector<MountEntry> ReadMountTable(const std::string& mountInfoPath);

// The disc roots to probe, in probing order, each ending in '/'.
std::vector<std::string> CandidateRoots(const IDiscPlatform& platform);

// The roots named by a TALVORA_DRIVES value: folders separated by ':'.
std::vector<std::string> RootsFromDriveList(const std::string& list);

// The name under which root holds ncc.html, whatever its letter case
// ("ncc.html" itself when several spellings exist), or "" when it holds none.
// Anything of that name counts, a folder too.
std::string FindNccName(const std::string& root);

// Probes every root in order; the last one holding ncc.html wins. Returns
// that root and writes its NCC path to nccPath; returns "" and leaves
// nccPath alone when none qualifies.
std::string FindDaisyDiscIn(const std::vector<std::string>& roots, std::string& nccPath);

// Natural order of device names: "sr2" < "sr10".
bool NaturalLess(const std::string& a, const std::string& b);

} // namespace disc

// The drives of the running system, or the folders of TALVORA_DRIVES when
// that variable is set (demonstrations and end-to-end tests without a drive).
std::string FindDaisyDisc(std::string& nccPath);
std::string FindDaisyDisc(std::string& nccPath, const disc::IDiscPlatform& platform);
