// The start-up steps both programs share, before GTK starts and once
// wxWidgets runs.
#pragma once

#include <string>

// What GDK_GL becomes, given what the user set (nullptr: nothing): GTK
// then leaves OpenGL alone. Neither program draws with it, yet GTK on X11
// loads the OpenGL driver while it opens the display, only to choose
// visuals for it; with a software driver that is about a tenth of a
// second of every start. A value the user set stays.
std::string GdkGlSetting(const char* userValue);

// Sets this process's environment for GTK (Dutch messages, GdkGlSetting);
// call before GTK starts.
void BeforeGtkStarts();

// wxWidgets' assertion dialog and log window speak English and steal a
// screen reader's focus; both go to standard error, under the
// application's name, instead. Call from wxApp::OnInit.
void SendWxDiagnosticsToStderr();

// The windows reach the desktop and the machine only through the services
// installed; this installs the native ones for its lifetime.
class CNativeServices
{
public:
    enum class Copy { No, Yes };
    // Copy::Yes also installs the copy services (finding the disc, the copy,
    // the tray); the station's window needs only the dialogs.
    explicit CNativeServices(Copy copy);
    ~CNativeServices();
    CNativeServices(const CNativeServices&) = delete;
    CNativeServices& operator=(const CNativeServices&) = delete;

private:
    Copy m_copy;
};
