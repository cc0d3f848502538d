#include "disc/EjectDisc.h"

#include "disc/DiscLocator.h"
#include "disc/GioWait.h"

#include <gio/gio.h>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr auto kGioTimeout = std::chrono::seconds(10);
constexpr auto kIoctlTimeout = std::chrono::seconds(5);

} // namespace

namespace disc::tray {

namespace {

GMount* FindMount(const std::string& root)
{
    char resolved[PATH_MAX];
    if (::realpath(root.c_str(), resolved) == nullptr)
        return nullptr;
    GFile* wanted = g_file_new_for_path(resolved);
    GVolumeMonitor* monitor = g_volume_monitor_get();
    GList* mounts = g_volume_monitor_get_mounts(monitor);
    GMount* found = nullptr;
    for (GList* l = mounts; l != nullptr; l = l->next) {
        GMount* mount = G_MOUNT(l->data);
        GFile* mountRoot = g_mount_get_root(mount);
        if (found == nullptr && g_file_equal(mountRoot, wanted))
            found = G_MOUNT(g_object_ref(mount));
        g_object_unref(mountRoot);
    }
    g_list_free_full(mounts, g_object_unref);
    g_object_unref(monitor);
    g_object_unref(wanted);
    return found;
}

} // namespace

GioOutcome EjectThroughGio(const std::string& root, std::chrono::milliseconds timeout)
{
    GMount* mount = FindMount(root);
    if (mount == nullptr)
        return GioOutcome::NoMount;
    if (!disc::gio_wait::SafeForProgram(mount, "eject") || !g_mount_can_eject(mount)) {
        g_object_unref(mount);
        return GioOutcome::Refused;
    }

    const int error = disc::gio_wait::StartAndWait(
        disc::GioLoop::Own,
        [mount](GAsyncReadyCallback done, gpointer data) {
            g_mount_eject_with_operation(mount, G_MOUNT_UNMOUNT_NONE, nullptr, nullptr, done, data);
            return true;
        },
        [](GObject* source, GAsyncResult* result) {
            GError* error = nullptr;
            const bool ok = g_mount_eject_with_operation_finish(G_MOUNT(source), result, &error) != FALSE;
            g_clear_error(&error);
            return ok ? 0 : EIO;
        },
        timeout);
    const GioOutcome outcome = error == 0           ? GioOutcome::Ejected
                               : error == ETIMEDOUT ? GioOutcome::TimedOut
                                                    : GioOutcome::Failed;
    g_object_unref(mount);
    return outcome;
}

bool EjectThroughIoctl(const std::string& device, std::chrono::milliseconds timeout)
{
    // A drive may take seconds to answer, or never, and an ioctl cannot be
    // called off. It runs in a child process, so that no thread of ours
    // outlives this call: a child still waiting on the drive is killed and
    // ends when the kernel lets go of it.
    const char* const path = device.c_str();
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        // Only async-signal-safe calls between fork and _exit.
        const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        ::_exit(fd >= 0 && ::ioctl(fd, CDROMEJECT, 0) == 0 ? 0 : 1);
    }
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0 && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= end)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGKILL);
    // Reaped here when it is already gone; otherwise by init once the
    // program ends.
    ::waitpid(child, nullptr, WNOHANG);
    return false;
}

} // namespace disc::tray

void EjectDisc(const std::string& discRoot)
{
    // Folders standing in for drives have no tray.
    if (disc::DriveFolders() || discRoot.empty())
        return;
    std::string mountPoint = discRoot;
    while (mountPoint.size() > 1 && mountPoint.back() == '/')
        mountPoint.pop_back();

    const disc::CSystemDiscPlatform platform;
    const auto mounts = platform.Mounts();
    const auto it = std::find_if(mounts.begin(), mounts.end(), [&](const disc::MountEntry& m) {
        return m.target == mountPoint && m.IsWholeFileSystem();
    });
    if (it == mounts.end())
        return;
    std::string device;
    if (it->major == disc::kScsiCdromMajor)
        device = it->source;
    for (const disc::OpticalDrive& d : platform.OpticalDrives())
        if (d.major == it->major && d.minor == it->minor)
            device = d.devNode;
    // A disc image or any other mount: no tray to open.
    if (device.empty())
        return;

    switch (disc::tray::EjectThroughGio(discRoot, kGioTimeout)) {
    case disc::tray::GioOutcome::Ejected:
    case disc::tray::GioOutcome::TimedOut:
        return;
    case disc::tray::GioOutcome::NoMount:
    case disc::tray::GioOutcome::Refused:
    case disc::tray::GioOutcome::Failed:
        disc::tray::EjectThroughIoctl(device, kIoctlTimeout);
        return;
    }
}
