// Which book names the station's workers are busy with. A worker holds a
// book's folder name (and with it every numbered variant "_NNN" the copy
// may pick) from its "already archived?" look until its copy has a name
// on disk, so that two drives with the same book never race for one
// folder: the second waits, then finds the first one's copy there. The
// rename that never replaces (RENAME_NOREPLACE) still guards against
// other programs writing into the output folder.
#pragma once

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

namespace station {

class CNameReservations
{
public:
    // Waits until no other worker holds path (compared without ASCII letter
    // case, as a stick's file system compares), then holds it.
    void Reserve(const std::string& path);
    void Release(const std::string& path);

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::set<std::string> m_held;
};

// Holds a name for one scope.
class CReservedName
{
public:
    CReservedName(CNameReservations& names, std::string path) : m_names(names), m_path(std::move(path))
    {
        m_names.Reserve(m_path);
    }
    ~CReservedName() { m_names.Release(m_path); }
    CReservedName(const CReservedName&) = delete;
    CReservedName& operator=(const CReservedName&) = delete;

private:
    CNameReservations& m_names;
    std::string m_path;
};

} // namespace station
