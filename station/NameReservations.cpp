#include "station/NameReservations.h"

#include "text/Ascii.h"

namespace station {

namespace {

std::string Folded(const std::string& path)
{
    std::string folded = path;
    for (char& c : folded)
        c = AsciiLower(c);
    return folded;
}

} // namespace

void CNameReservations::Reserve(const std::string& path)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::string key = Folded(path);
    m_released.wait(lock, [&] { return m_held.count(key) == 0; });
    m_held.insert(key);
}

void CNameReservations::Release(const std::string& path)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_held.erase(Folded(path));
    }
    m_released.notify_all();
}

} // namespace station
