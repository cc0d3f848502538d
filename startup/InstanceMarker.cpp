#include "startup/InstanceMarker.h"

#include "settings/ProfilePaths.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

CInstanceMarker::CInstanceMarker(const std::string& folder, const std::string& name)
{
    settings::profile_paths::MakePrivateFolders(folder);
    const std::string path = folder + "/" + name;
    m_fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0)
        return;
    if (flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_state = State::Created;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::AlreadyRunning : State::Unavailable;
    close(m_fd);
    m_fd = -1;
}

CInstanceMarker::~CInstanceMarker()
{
    // The file stays: removing it could let a third start lock a fresh file
    // while a second one still holds the old one.
    if (m_fd >= 0)
        close(m_fd);
}
