// Lets one instance of the program run per user.
#pragma once

#include <string>

// Holds an exclusive lock on a file for as long as it lives. The kernel
// drops the lock when the process ends however it ends, so a file left by a
// killed instance never keeps the next start out (a marker that only
// records a process id would, once that id is reused).
class CInstanceMarker
{
public:
    enum class State { Created, AlreadyRunning, Unavailable };

    // Locks folder/name, creating the folder when missing.
    CInstanceMarker(const std::string& folder, const std::string& name);
    ~CInstanceMarker();

    CInstanceMarker(const CInstanceMarker&) = delete;
    CInstanceMarker& operator=(const CInstanceMarker&) = delete;

    // Unavailable when the lock file could not be made (a read-only folder):
    // the program then runs without a marker.
    State GetState() const { return m_state; }

private:
    int m_fd = -1;
    State m_state = State::Unavailable;
};
