#include "disc/DiscLocator.h"

#include "book/BookFile.h"

#include <libmount.h>
#include <libudev.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace disc {

namespace {

constexpr unsigned kLoopMajor = 7;
const char* const kNccName = "ncc.html";

std::string AsRoot(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string BaseName(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsDiscImageFs(const std::string& type)
{
    return type == "iso9660" || type == "udf";
}

bool SameDevice(const MountEntry& mount, const OpticalDrive& drive)
{
    if (mount.major != 0 || drive.major != 0)
        return mount.major == drive.major && mount.minor == drive.minor;
    return !drive.devNode.empty() && mount.source == drive.devNode;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Keeps the smallest byte order, so every run makes the same choice.
void KeepSmallest(std::string& kept, const char* name)
{
    if (kept.empty() || std::strcmp(name, kept.c_str()) < 0)
        kept = name;
}

} // namespace

bool NaturalLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool da = IsDigit(a[i]);
        const bool db = IsDigit(b[j]);
        if (da && db) {
            std::size_t ei = i, ej = j;
            while (ei < a.size() && IsDigit(a[ei]))
                ++ei;
            while (ej < b.size() && IsDigit(b[ej]))
                ++ej;
            // Compare the numbers by value without converting: strip leading
            // zeros, then the longer one is larger.
            std::size_t si = i, sj = j;
            while (si + 1 < ei && a[si] == '0')
                ++si;
            while (sj + 1 < ej && b[sj] == '0')
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int cmp = a.compare(si, ei - si, b, sj, ej - sj);
            if (cmp != 0)
                return cmp < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::vector<MountEntry> ReadMountTable(const std::string& mountInfoPath)
{
    std::vector<MountEntry> entries;
    libmnt_table* table = mnt_new_table();
    if (table == nullptr)
        return entries;
    if (mnt_table_parse_file(table, mountInfoPath.c_str()) == 0) {
        libmnt_iter* iter = mnt_new_iter(MNT_ITER_FORWARD);
        libmnt_fs* fs = nullptr;
        while (iter != nullptr && mnt_table_next_fs(table, iter, &fs) == 0) {
            MountEntry e;
            auto text = [](const char* s) { return s != nullptr ? std::string(s) : std::string(); };
            e.source = text(mnt_fs_get_source(fs));
            e.target = text(mnt_fs_get_target(fs));
            e.fsType = text(mnt_fs_get_fstype(fs));
            e.fsRoot = text(mnt_fs_get_root(fs));
            const dev_t dev = mnt_fs_get_devno(fs);
            e.major = major(dev);
            e.minor = minor(dev);
            if (!e.target.empty())
                entries.push_back(std::move(e));
        }
        mnt_free_iter(iter);
    }
    mnt_unref_table(table);
    return entries;
}

std::vector<OpticalDrive> CSystemDiscPlatform::OpticalDrives() const
{
    std::vector<OpticalDrive> drives;
    udev* ctx = udev_new();
    if (ctx == nullptr)
        return drives;
    udev_enumerate* en = udev_enumerate_new(ctx);
    if (en != nullptr && udev_enumerate_add_match_subsystem(en, "block") >= 0 && udev_enumerate_scan_devices(en) >= 0) {
        udev_list_entry* entry = nullptr;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(en))
        {
            udev_device* dev = udev_device_new_from_syspath(ctx, udev_list_entry_get_name(entry));
            if (dev == nullptr)
                continue;
            const dev_t num = udev_device_get_devnum(dev);
            const char* cdrom = udev_device_get_property_value(dev, "ID_CDROM");
            // Without udev's database (no udevd, as in containers) only the
            // kernel's own SCSI CD-ROM devices can be recognised.
            const bool optical = cdrom != nullptr ? std::strcmp(cdrom, "1") == 0 : major(num) == kScsiCdromMajor;
            const char* node = udev_device_get_devnode(dev);
            if (optical && node != nullptr)
                drives.push_back({node, major(num), minor(num)});
            udev_device_unref(dev);
        }
    }
    udev_enumerate_unref(en);
    udev_unref(ctx);
    return drives;
}

std::vector<MountEntry> CSystemDiscPlatform::Mounts() const
{
    return ReadMountTable("/proc/self/mountinfo");
}

std::vector<std::string> CandidateRoots(const IDiscPlatform& platform)
{
    std::vector<OpticalDrive> drives = platform.OpticalDrives();
    const std::vector<MountEntry> mounts = platform.Mounts();

    // A mounted SCSI CD-ROM device is a drive even when the device manager
    // did not list it.
    for (const MountEntry& m : mounts) {
        if (m.major != kScsiCdromMajor)
            continue;
        const bool listed = std::any_of(drives.begin(), drives.end(),
                                        [&](const OpticalDrive& d) { return SameDevice(m, d); });
        if (!listed)
            drives.push_back({m.source, m.major, m.minor});
    }
    std::stable_sort(drives.begin(), drives.end(), [](const OpticalDrive& a, const OpticalDrive& b) {
        return NaturalLess(BaseName(a.devNode), BaseName(b.devNode));
    });


    std::vector<std::string> roots;
    for (const OpticalDrive& d : drives)
        for (const MountEntry& m : mounts)
            if (m.IsWholeFileSystem() && SameDevice(m, d))
                roots.push_back(AsRoot(m.target));

    std::vector<const MountEntry*> images;
    for (const MountEntry& m : mounts)
        if (m.IsWholeFileSystem() && m.major == kLoopMajor && IsDiscImageFs(m.fsType))
            images.push_back(&m);
    std::stable_sort(images.begin(), images.end(), [](const MountEntry* a, const MountEntry* b) {
        return NaturalLess(BaseName(a->source), BaseName(b->source));
    });
    for (const MountEntry* m : images)
        roots.push_back(AsRoot(m->target));
    return roots;
}

std::optional<std::vector<std::string>> DriveFolders()
{
    if (const char* list = std::getenv("TALVORA_DRIVES"))
        return RootsFromDriveList(list);
    return std::nullopt;
}

std::vector<std::string> RootsFromDriveList(const std::string& list)
{
    std::vector<std::string> roots;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(':', start);
        if (end == std::string::npos)
            end = list.size();
        if (end > start)
            roots.push_back(AsRoot(list.substr(start, end - start)));
        start = end + 1;
    }
    return roots;
}

std::string FindBookFileName(const std::string& root)
{
    struct stat st;
    if (::lstat((root + kNccName).c_str(), &st) == 0)
        return kNccName;
    // Discs written on other systems may store the names in capitals. The
    // comparison is ASCII only: in a Turkish locale the C library would not
    // match "NCC.HTML" with "ncc.html".
    DIR* dir = ::opendir(root.c_str());
    if (dir == nullptr)
        return {};
    std::string ncc, package, discInfo;
    while (const dirent* e = ::readdir(dir)) {
        if (const auto kind = BookFileKindOfName(e->d_name))
            KeepSmallest(*kind == BookFileKind::Ncc ? ncc : *kind == BookFileKind::Package ? package : discInfo, e->d_name);
    }
    ::closedir(dir);
    return !ncc.empty() ? ncc : !package.empty() ? package : discInfo;
}

FoundDisc FindDaisyDiscIn(const std::vector<std::string>& roots)
{
    FoundDisc found, ncc;
    for (const std::string& root : roots) {
        const std::string name = FindBookFileName(root);
        if (name.empty())
            continue;
        found = {root, root + name, KindOfBookFile(name)};
        if (found.kind == BookFileKind::Ncc)
            ncc = found;
    }
    return ncc ? ncc : found;
}

std::vector<UnmountedDisc> MountUnmountedDiscs(const IDiscPlatform& platform)
{
    std::vector<UnmountedDisc> mounted;
    for (const UnmountedDisc& disc : platform.UnmountedDiscs())
        if (!platform.Mount(disc))
            mounted.push_back(disc);
    return mounted;
}

void UnmountDiscsWithoutBook(const IDiscPlatform& platform, const std::vector<UnmountedDisc>& mounted)
{
    if (mounted.empty())
        return;
    const std::vector<MountEntry> mounts = platform.Mounts();
    for (const UnmountedDisc& disc : mounted) {
        struct stat st = {};
        const bool device = ::stat(disc.devNode.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
        const bool holdsBook = std::any_of(mounts.begin(), mounts.end(), [&](const MountEntry& m) {
            const bool same = m.source == disc.devNode ||
                              (device && m.major == major(st.st_rdev) && m.minor == minor(st.st_rdev));
            return same && m.IsWholeFileSystem() && !FindBookFileName(AsRoot(m.target)).empty();
        });
        // A failed unmount leaves a disc mounted that the desktop would
        // have mounted anyway; nothing for the user to do about it.
        if (!holdsBook)
            platform.Unmount(disc);
    }
}

} // namespace disc

disc::FoundDisc FindDaisyDisc(const disc::IDiscPlatform& platform)
{
    const std::vector<disc::UnmountedDisc> mounted = disc::MountUnmountedDiscs(platform);
    const disc::FoundDisc found = disc::FindDaisyDiscIn(disc::CandidateRoots(platform));
    disc::UnmountDiscsWithoutBook(platform, mounted);
    return found;
}

disc::FoundDisc FindDaisyDisc(disc::GioLoop loop)
{
    if (const auto folders = disc::DriveFolders())
        return disc::FindDaisyDiscIn(*folders);
    return FindDaisyDisc(disc::CSystemDiscPlatform(loop));
}
