// A settings file of the test's own, installed as the application profile.
#pragma once

#include "settings/SettingsFile.h"
#include "support/TempDir.h"

#include <wx/config.h>
#include <wx/fileconf.h>

#include <fstream>
#include <sstream>

class CTestProfile
{
public:
    explicit CTestProfile(const std::string& content = {})
    {
        if (!content.empty())
            std::ofstream(path()) << content;
        m_previous = wxConfigBase::Set(OpenSettingsFile(path()).release());
    }
    ~CTestProfile() { delete wxConfigBase::Set(m_previous); }
    CTestProfile(const CTestProfile&) = delete;
    CTestProfile& operator=(const CTestProfile&) = delete;

    std::string path() const { return m_dir / "Talvora.conf"; }

    // The file as it is on disk now; empty when there is none.
    std::string OnDisk() const
    {
        std::ifstream in(path());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private:
    CTempDir m_dir;
    wxConfigBase* m_previous = nullptr;
};
