// What the windows need of the desktop besides their own controls: message
// boxes, questions with buttons of their own and the folder picker. Every
// message and question of the program goes through here, the copy's
// included. The native services are used until something else is
// installed; tests install scripted ones in their place.
#pragma once

#include <wx/string.h>

#include <vector>

class wxWindow;

// Dialog end codes.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Message box types, combined with |.
inline constexpr unsigned MB_OK = 0x00;
inline constexpr unsigned MB_OKCANCEL = 0x01;
inline constexpr unsigned MB_ICONHAND = 0x10;     // error
inline constexpr unsigned MB_ICONQUESTION = 0x20; // question
inline constexpr unsigned MB_ICONASTERISK = 0x40; // information

// What a folder picker gave back.
struct FolderChoice
{
    bool chosen = false;  // false: the user cancelled
    bool hasPath = false; // false: the choice is no folder on disk
    wxString path;
};

class IDialogServices
{
public:
    virtual ~IDialogServices() = default;

    // A modal message box captioned with the program's name. Returns IDCANCEL
    // only when an MB_OKCANCEL box was cancelled, IDOK otherwise.
    virtual int MessageBox(wxWindow* parent, const wxString& text, unsigned type) = 0;

    // A modal question captioned with the program's name, with `buttons`
    // shown left to right and visited by Tab in that order. Enter presses
    // the first; Escape and the close box the last, which must be the one
    // that cancels. Returns the index of the button pressed. `icon` is
    // MB_ICONQUESTION or MB_ICONHAND.
    virtual std::size_t Ask(wxWindow* parent, const wxString& text, const std::vector<wxString>& buttons,
                            unsigned icon) = 0;

    // A short announcement that asks nothing and holds nothing up: a desktop
    // notification, which a screen reader speaks. Nothing is waited for;
    // where there is no notification service, nothing is said.
    virtual void Announce(const wxString& text) = 0;

    // The desktop's own folder picker, showing `title`, opened in
    // `startFolder` (an existing folder) with nothing selected.
    virtual FolderChoice PickFolder(wxWindow* parent, const wxString& title, const wxString& startFolder) = 0;
};

// The installed services (see ui/ServiceSlot.h).
IDialogServices& DialogServices();

// Installs services that stay owned by the caller and must outlive their
// use; nullptr leaves none. Returns what was installed before.
IDialogServices* InstallDialogServices(IDialogServices* services);

// GTK's own dialogs, which the application installs.
IDialogServices& NativeDialogServices();

// A message box over whatever window is active, as the windows show them.
int AfxMessageBox(const wxString& text, unsigned type);

// A message as a message box shows it: its first line as the primary
// text, the rest below it. A screen reader reads both, where it reads a
// single label with line breaks only up to its first line.
struct MessageParts
{
    wxString primary;
    wxString secondary; // empty for a one-line message
};
MessageParts SplitMessage(const wxString& text);

// The buttons' labels with an access key each ('_' before it, as GTK
// marks them; a '_' of the label itself doubled): the last button, the one
// that cancels, first, so that it keeps its own initial everywhere; then
// each other button in order, on the first initial of a word still free,
// else on its first free letter.
std::vector<wxString> WithAccessKeys(const std::vector<wxString>& labels);

// The caption of every message box.
inline constexpr const char* kProgramName = "Talvora";
