// The program's one settings record and its place in the user's profile.
#pragma once

#include <cstdint>
#include <string>

class wxConfigBase;

// Values are kept as they are stored: 0 is off, anything else is on.
// OutputDir and TempPath are UTF-8 paths; a non-empty one ends in '/'.
class CSettings
{
public:
    // Loads itself from the application profile (see Profile()), then takes
    // the temporary folder.
    CSettings();
    explicit CSettings(const wxConfigBase& profile);
    virtual ~CSettings();

    CSettings(const CSettings&) = default;
    CSettings& operator=(const CSettings&) = default;

    // A value that is missing, empty or not a whole 32-bit number reads as
    // its default. TempPath is left alone.
    void Load(const wxConfigBase& profile);

    // Writes OutputDir and the eight switches, never VerifyCopy or TempPath,
    // and makes the change durable. False when the profile could not be written; the
    // record keeps its values either way.
    bool Save(wxConfigBase& profile) const;

    bool IsConfigured() const { return !OutputDir.empty(); }

    std::string OutputDir;
    std::int32_t UseIdentifier = 1;
    std::int32_t UseTitle = 1;
    std::int32_t UseCreator = 1;
    std::int32_t ConfirmOverwrite = 1;
    std::int32_t EjectWhenDone = 1;
    std::int32_t MessageWhenDone = 0;
    std::int32_t CopyViaTemp = 0;
    std::int32_t AutoStart = 0;
    // Read every copied file back from the drive and compare. Only in the
    // settings file, for whoever must be fast: the settings window does not
    // show it and Save leaves it as the file has it.
    std::int32_t VerifyCopy = 1;
    std::string TempPath;
};

// The profile that start-up installed (the per-user settings file), or an
// empty in-memory one when none was installed, so a record always has
// somewhere to load from.
wxConfigBase& Profile();
