#include "settings/Settings.h"

#include "settings/ProfilePaths.h"

#include <wx/config.h>
#include <wx/log.h>
#include <wx/memconf.h>

#include <charconv>

namespace {

const wxString kSection = "/Settings/";

struct Switch
{
    const char* name;
    std::int32_t CSettings::*field;
    std::int32_t defaultValue;
};

// The order in which the switches are read and written.
constexpr Switch kSwitches[] = {
    {"UseIdentifier", &CSettings::UseIdentifier, 1},
    {"UseTitle", &CSettings::UseTitle, 1},
    {"UseCreator", &CSettings::UseCreator, 1},
    {"ConfirmOverwrite", &CSettings::ConfirmOverwrite, 1},
    {"EjectWhenDone", &CSettings::EjectWhenDone, 1},
    {"MessageWhenDone", &CSettings::MessageWhenDone, 0},
    {"CopyViaTemp", &CSettings::CopyViaTemp, 0},
    {"AutoStart", &CSettings::AutoStart, 0},
};

// A hand-edited file may hold anything; only a whole number that fits in 32
// bits counts, everything else falls back to the default.
std::int32_t ReadSwitch(const wxConfigBase& profile, const char* name, std::int32_t defaultValue)
{
    wxString text;
    if (!profile.Read(kSection + name, &text))
        return defaultValue;
    const std::string digits = text.Strip(wxString::both).utf8_string();
    std::int32_t value = 0;
    const char* first = digits.data();
    const char* last = first + digits.size();
    if (first != last && *first == '+')
        ++first;
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last)
        return defaultValue;
    return value;
}

} // namespace

CSettings::CSettings() : CSettings(Profile()) {}

CSettings::CSettings(const wxConfigBase& profile)
{
    Load(profile);
    TempPath = settings::profile_paths::TempPath();
}

CSettings::~CSettings() = default;

void CSettings::Load(const wxConfigBase& profile)
{
    wxLogNull quiet;
    wxString outputDir;
    profile.Read(kSection + "OutputDir", &outputDir, wxString());
    OutputDir = outputDir.utf8_string();
    for (const Switch& s : kSwitches)
        this->*s.field = ReadSwitch(profile, s.name, s.defaultValue);
    VerifyCopy = ReadSwitch(profile, "VerifyCopy", 1);
}

bool CSettings::Save(wxConfigBase& profile) const
{
    // A failed write must not pop up wxWidgets' own log window.
    wxLogNull quiet;
    bool ok = profile.Write(kSection + "OutputDir", wxString::FromUTF8(OutputDir));
    for (const Switch& s : kSwitches)
        ok = profile.Write(kSection + s.name, static_cast<long>(this->*s.field)) && ok;
    return profile.Flush() && ok;
}

wxConfigBase& Profile()
{
    if (wxConfigBase* installed = wxConfigBase::Get(false))
        return *installed;
    static wxMemoryConfig empty;
    return empty;
}
