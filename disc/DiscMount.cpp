// Mounting a data disc that the desktop left alone (automounting off, a
// minimal desktop, a console login), the way file managers do it: through
// GIO's volume monitor, which asks udisks2; no root needed in a session.
// Unmounting one again the same way, and mounting a drive anew (a stick
// whose FUSE program must read the device again). Everything GIO is done
// on the default main context (see GioWait.h); the drives and the mount
// table are read on the calling thread.
#include "disc/DiscLocator.h"
#include "disc/DriveRemount.h"
#include "disc/GioWait.h"
#include "posix/Posix.h"

#include <gio/gio.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

namespace disc {

namespace {

// A drive spins a disc up in a few seconds; past this the drive counts as
// empty and the user is asked to insert a disc.
constexpr auto kMountTimeout = std::chrono::seconds(15);
constexpr auto kUnmountTimeout = std::chrono::seconds(10);
// Listing volumes asks gvfs at most once, in milliseconds; a window loop
// that does not come round in this time is busy with something else.
constexpr auto kListTimeout = std::chrono::seconds(5);

bool IsOpticalDevice(const std::string& devNode, const std::vector<OpticalDrive>& drives)
{
    struct stat st = {};
    if (::stat(devNode.c_str(), &st) != 0 || !S_ISBLK(st.st_mode))
        return false;
    const unsigned maj = major(st.st_rdev), min = minor(st.st_rdev);
    return maj == kScsiCdromMajor || std::any_of(drives.begin(), drives.end(), [&](const OpticalDrive& d) {
               return d.major == maj && d.minor == min;
           });
}

std::string DeviceOf(GVolume* volume)
{
    gchar* device = g_volume_get_identifier(volume, G_VOLUME_IDENTIFIER_KIND_UNIX_DEVICE);
    std::string text = device != nullptr ? device : "";
    g_free(device);
    return text;
}

// A volume that has a file system to mount here: not mounted yet, and not
// one that only a gvfs back end reaches (an audio CD's cdda://).
bool IsMountableHere(GVolume* volume)
{
    if (GMount* mount = g_volume_get_mount(volume)) {
        g_object_unref(mount);
        return false;
    }
    if (!g_volume_can_mount(volume))
        return false;
    GFile* activation = g_volume_get_activation_root(volume);
    const bool remote = activation != nullptr && !g_file_is_native(activation);
    if (activation != nullptr)
        g_object_unref(activation);
    return !remote;
}

// Calls visit with every volume of the volume monitor and its device until
// it returns false.
template <typename Visit>
void ForEachVolume(Visit visit)
{
    GVolumeMonitor* monitor = g_volume_monitor_get();
    GList* volumes = g_volume_monitor_get_volumes(monitor);
    for (GList* l = volumes; l != nullptr; l = l->next) {
        GVolume* volume = G_VOLUME(l->data);
        const std::string device = DeviceOf(volume);
        if (!device.empty() && !visit(volume, device))
            break;
    }
    g_list_free_full(volumes, g_object_unref);
    g_object_unref(monitor);
}

// Calls visit with every mountable volume on an optical drive until it
// returns false.
template <typename Visit>
void ForEachUnmounted(const std::vector<OpticalDrive>& drives, Visit visit)
{
    ForEachVolume([&](GVolume* volume, const std::string& device) {
        if (!IsMountableHere(volume) || !IsOpticalDevice(device, drives))
            return true;
        return visit(volume, device);
    });
}

int MountFinish(GObject* source, GAsyncResult* result)
{
    GError* error = nullptr;
    const bool ok = g_volume_mount_finish(G_VOLUME(source), result, &error) != FALSE;
    const int code = ok ? 0 : disc::gio_wait::ErrnoOf(error);
    g_clear_error(&error);
    return code;
}

// A disc whose mount came after the search counted its drive as empty
// was not looked at: it is unmounted again, without waiting.
void UnmountLate(GObject* source)
{
    GMount* mount = g_volume_get_mount(G_VOLUME(source));
    if (mount == nullptr)
        return;
    if (disc::gio_wait::SafeForProgram(mount, "umount") && g_mount_can_unmount(mount))
        g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr, nullptr, nullptr);
    g_object_unref(mount);
}

int UnmountFinish(GObject* source, GAsyncResult* result)
{
    GError* error = nullptr;
    const bool ok = g_mount_unmount_with_operation_finish(G_MOUNT(source), result, &error) != FALSE;
    const int code = ok ? 0 : disc::gio_wait::ErrnoOf(error);
    g_clear_error(&error);
    return code;
}

posix::Failure AsFailure(int error, const std::string& devNode)
{
    return error == 0 ? posix::Failure{} : posix::OnDisc(error, devNode);
}

} // namespace

std::vector<UnmountedDisc> CSystemDiscPlatform::UnmountedDiscs() const
{
    std::vector<UnmountedDisc> discs;
    const std::vector<OpticalDrive> drives = OpticalDrives();
    disc::gio_wait::RunOnMainContext(
        m_loop,
        [&] {
            ForEachUnmounted(drives, [&](GVolume* volume, const std::string& device) {
                gchar* name = g_volume_get_name(volume);
                discs.push_back({device, name != nullptr ? name : ""});
                g_free(name);
                return true;
            });
        },
        kListTimeout);
    return discs;
}

posix::Failure CSystemDiscPlatform::Mount(const UnmountedDisc& disc) const
{
    const std::vector<OpticalDrive> drives = OpticalDrives();
    const int error = disc::gio_wait::StartAndWait(
        m_loop,
        [&](GAsyncReadyCallback done, gpointer data) {
            bool begun = false;
            ForEachUnmounted(drives, [&](GVolume* volume, const std::string& device) {
                if (device != disc.devNode)
                    return true;
                g_volume_mount(volume, G_MOUNT_MOUNT_NONE, nullptr, nullptr, done, data);
                begun = true;
                return false;
            });
            return begun;
        },
        MountFinish, kMountTimeout, UnmountLate);
    return AsFailure(error, disc.devNode);
}

posix::Failure CSystemDiscPlatform::Unmount(const UnmountedDisc& disc) const
{
    const int error = disc::gio_wait::StartAndWait(
        m_loop,
        [&](GAsyncReadyCallback done, gpointer data) {
            bool begun = false;
            ForEachVolume([&](GVolume* volume, const std::string& device) {
                if (device != disc.devNode)
                    return true;
                if (GMount* mount = g_volume_get_mount(volume)) {
                    if (disc::gio_wait::SafeForProgram(mount, "umount") && g_mount_can_unmount(mount)) {
                        g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr, done, data);
                        begun = true;
                    }
                    g_object_unref(mount);
                }
                return false;
            });
            return begun;
        },
        UnmountFinish, kUnmountTimeout);
    return AsFailure(error, disc.devNode);
}

namespace {

// The device mounted at mountPoint, by the kernel's mount table; "" when
// nothing is.
std::string SourceAt(const std::string& mountPoint)
{
    std::string source;
    for (const MountEntry& entry : ReadMountTable("/proc/self/mountinfo"))
        if (entry.target == mountPoint)
            source = entry.source; // the last mount there is the one seen
    return source;
}

// Where the kernel's mount table has source mounted whole, waiting up to
// a few seconds for it; "" when it is not. GIO's own view of a volume is
// updated by signals that may come after the operation's answer.
std::string TargetOf(const std::string& source)
{
    constexpr auto kSettle = std::chrono::seconds(3);
    const auto until = std::chrono::steady_clock::now() + kSettle;
    for (;;) {
        for (const MountEntry& entry : ReadMountTable("/proc/self/mountinfo"))
            if (entry.source == source && entry.IsWholeFileSystem())
                return entry.target;
        if (std::chrono::steady_clock::now() >= until)
            return {};
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace

posix::Failure RemountDrive(GioLoop loop, const std::string& mountPoint, std::string& mountedAt)
{
    mountedAt = mountPoint;
    const std::string real = posix::Resolved(mountPoint);
    // Only a device can be mounted again: a FUSE program of its own
    // (sshfs), a tmpfs or a bind mount would be gone for good.
    const std::string source = SourceAt(real);
    if (source.rfind("/dev/", 0) != 0)
        return posix::OnOutput(ENODEV, mountPoint);
    // Held across the steps; taken and let go on the main context, which
    // owns the volume monitor's objects.
    GVolume* volume = nullptr;
    disc::gio_wait::RunOnMainContext(
        loop,
        [&] {
            GVolumeMonitor* monitor = g_volume_monitor_get();
            GList* mounts = g_volume_monitor_get_mounts(monitor);
            for (GList* l = mounts; l != nullptr && volume == nullptr; l = l->next) {
                GMount* mount = G_MOUNT(l->data);
                GFile* root = g_mount_get_root(mount);
                gchar* path = g_file_get_path(root);
                if (path != nullptr && posix::Resolved(path) == real)
                    volume = g_mount_get_volume(mount);
                g_free(path);
                g_object_unref(root);
            }
            g_list_free_full(mounts, g_object_unref);
            g_object_unref(monitor);
        },
        kListTimeout);
    if (volume == nullptr)
        return posix::OnOutput(ENODEV, mountPoint);
    auto release = [&] { disc::gio_wait::RunOnMainContext(loop, [&] { g_object_unref(volume); }, kListTimeout); };

    const int unmounted = disc::gio_wait::StartAndWait(
        loop,
        [&](GAsyncReadyCallback done, gpointer data) {
            GMount* mount = g_volume_get_mount(volume);
            if (mount == nullptr)
                return false;
            const bool begun = g_volume_can_mount(volume) && disc::gio_wait::SafeForProgram(mount, "umount") &&
                               g_mount_can_unmount(mount);
            if (begun)
                g_mount_unmount_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr, done, data);
            g_object_unref(mount);
            return begun;
        },
        UnmountFinish, kUnmountTimeout);
    // A failed unmount, or one that timed out, may still have happened,
    // and one that succeeded must have: the kernel's table says. A stick
    // still mounted there would be read through the same program again.
    if (SourceAt(real) == source) {
        release();
        return posix::OnOutput(unmounted != 0 ? unmounted : EBUSY, mountPoint);
    }

    const int mounted = disc::gio_wait::StartAndWait(
        loop,
        [&](GAsyncReadyCallback done, gpointer data) {
            g_volume_mount(volume, G_MOUNT_MOUNT_NONE, nullptr, nullptr, done, data);
            return true;
        },
        MountFinish, kMountTimeout);
    release();
    mountedAt = TargetOf(source);
    if (mountedAt.empty())
        return posix::OnOutput(mounted != 0 ? mounted : ENODEV, mountPoint);
    return {};
}

} // namespace disc
