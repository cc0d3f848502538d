// The start-up steps both programs share once wxWidgets runs.
#pragma once

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
