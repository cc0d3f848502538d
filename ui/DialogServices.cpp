#include "ui/DialogServices.h"

#include "ui/ServiceSlot.h"

#include <wx/dirdlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

namespace {

class CNativeDialogServices final : public IDialogServices
{
public:
    int MessageBox(wxWindow* parent, const wxString& text, unsigned type) override
    {
        const bool withCancel = (type & 0x0F) == MB_OKCANCEL;
        long style = withCancel ? (wxOK | wxCANCEL) : wxOK;
        if (type & MB_ICONHAND)
            style |= wxICON_ERROR;
        else if (type & MB_ICONASTERISK)
            style |= wxICON_INFORMATION;
        else
            style |= wxICON_NONE;

        wxMessageDialog box(parent, text, kProgramName, style | wxCENTRE);
        // Dutch whatever the system's language, as in the rest of the program.
        if (withCancel)
            box.SetOKCancelLabels("OK", "Annuleren");
        else
            box.SetOKLabel("OK");
        const int answer = box.ShowModal();
        return withCancel && answer == wxID_CANCEL ? IDCANCEL : IDOK;
    }

    FolderChoice PickFolder(wxWindow* parent, const wxString& title) override
    {
        // GTK's picker opens at "Recent", where nothing can be chosen, when
        // it is given no folder; the home folder is where users look first.
        wxDirDialog picker(parent, title, wxGetHomeDir(), wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
        FolderChoice choice;
        if (picker.ShowModal() != wxID_OK)
            return choice;
        choice.chosen = true;
        // A place that is not on disk (a network share the desktop shows
        // only as an address) comes back without a local path.
        choice.path = picker.GetPath();
        choice.hasPath = choice.path.empty() || wxFileName::DirExists(choice.path);
        return choice;
    }
};

using Slot = CServiceSlot<IDialogServices, CNativeDialogServices>;

} // namespace

IDialogServices& DialogServices()
{
    return Slot::Get();
}

IDialogServices* InstallDialogServices(IDialogServices* services)
{
    return Slot::Install(services);
}

int AfxMessageBox(const wxString& text, unsigned type)
{
    return DialogServices().MessageBox(nullptr, text, type);
}
