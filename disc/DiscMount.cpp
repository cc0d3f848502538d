// Mounting a data disc that the desktop left alone (automounting off, a
// minimal desktop, a console login), the way file managers do it: through
// GIO's volume monitor, which asks udisks2; no root needed in a session.
#include "disc/DiscLocator.h"
#include "disc/GioWait.h"

#include <gio/gio.h>

#include <algorithm>
#include <chrono>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace disc {

namespace {

// A drive spins a disc up in a few seconds; past this the drive counts as
// empty and the user is asked to insert a disc.
constexpr auto kMountTimeout = std::chrono::seconds(15);

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

// Calls visit with every mountable volume on an optical drive until it
// returns false.
template <typename Visit>
void ForEachUnmounted(const std::vector<OpticalDrive>& drives, Visit visit)
{
    GVolumeMonitor* monitor = g_volume_monitor_get();
    GList* volumes = g_volume_monitor_get_volumes(monitor);
    for (GList* l = volumes; l != nullptr; l = l->next) {
        GVolume* volume = G_VOLUME(l->data);
        const std::string device = DeviceOf(volume);
        if (device.empty() || !IsMountableHere(volume) || !IsOpticalDevice(device, drives))
            continue;
        if (!visit(volume, device))
            break;
    }
    g_list_free_full(volumes, g_object_unref);
    g_object_unref(monitor);
}

bool MountVolume(GVolume* volume)
{
    const auto outcome = gio_wait::StartAndWait(
        [&](GAsyncReadyCallback done, gpointer data) {
            g_volume_mount(volume, G_MOUNT_MOUNT_NONE, nullptr, nullptr, done, data);
        },
        [](GObject* source, GAsyncResult* result) {
            GError* error = nullptr;
            const bool ok = g_volume_mount_finish(G_VOLUME(source), result, &error) != FALSE;
            if (error != nullptr)
                g_error_free(error);
            return ok;
        },
        std::chrono::duration_cast<std::chrono::milliseconds>(kMountTimeout));
    return outcome == gio_wait::Outcome::Succeeded;
}

} // namespace

std::vector<UnmountedDisc> CSystemDiscPlatform::UnmountedDiscs() const
{
    std::vector<UnmountedDisc> discs;
    ForEachUnmounted(OpticalDrives(), [&](GVolume* volume, const std::string& device) {
        gchar* name = g_volume_get_name(volume);
        discs.push_back({device, name != nullptr ? name : ""});
        g_free(name);
        return true;
    });
    return discs;
}

bool CSystemDiscPlatform::Mount(const UnmountedDisc& disc) const
{
    bool mounted = false;
    ForEachUnmounted(OpticalDrives(), [&](GVolume* volume, const std::string& device) {
        if (device != disc.devNode)
            return true;
        mounted = MountVolume(volume);
        return false;
    });
    return mounted;
}

} // namespace disc
