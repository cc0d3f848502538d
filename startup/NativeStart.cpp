#include "startup/NativeStart.h"

#include "startup/DutchMessages.h"
#include "ui/CopyServices.h"
#include "ui/DialogServices.h"

#include <wx/app.h>
#include <wx/log.h>

#include <cstdio>
#include <cstdlib>

namespace {

void AssertToStderr(const wxString& file, int line, const wxString& func, const wxString& cond,
                    const wxString& msg)
{
    const wxString program = wxTheApp != nullptr ? wxTheApp->GetAppName() : wxString("talvora");
    std::fprintf(stderr, "%s: %s:%d %s: %s %s\n", static_cast<const char*>(program.utf8_str()),
                 static_cast<const char*>(file.utf8_str()), line, static_cast<const char*>(func.utf8_str()),
                 static_cast<const char*>(cond.utf8_str()), static_cast<const char*>(msg.utf8_str()));
}

} // namespace

void SendWxDiagnosticsToStderr()
{
    wxSetAssertHandler(AssertToStderr);
    delete wxLog::SetActiveTarget(new wxLogStderr);
}

CNativeServices::CNativeServices(Copy copy) : m_copy(copy)
{
    InstallDialogServices(&NativeDialogServices());
    if (m_copy == Copy::Yes)
        InstallCopyServices(&NativeCopyServices());
}

CNativeServices::~CNativeServices()
{
    if (m_copy == Copy::Yes)
        InstallCopyServices(nullptr);
    InstallDialogServices(nullptr);
}

std::string GdkGlSetting(const char* userValue)
{
    return userValue != nullptr && *userValue != '\0' ? std::string(userValue) : std::string("disable");
}

void BeforeGtkStarts()
{
    ForceDutchMessages();
    setenv("GDK_GL", GdkGlSetting(std::getenv("GDK_GL")).c_str(), 1);
}
