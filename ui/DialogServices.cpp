#include "ui/DialogServices.h"

#include "ui/ServiceSlot.h"

#include <wx/dirdlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <gtk/gtk.h>

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

    std::size_t Ask(wxWindow* parent, const wxString& text, const std::vector<wxString>& buttons,
                    unsigned icon) override
    {
        // GTK's own message dialog, so that screen readers meet the alert
        // they know, but with the buttons in reading order: wxMessageDialog
        // lets GTK sort them, which put "Ja, alles" first and "Ja" last.
        GtkWindow* owner = parent != nullptr ? GTK_WINDOW(gtk_widget_get_toplevel(parent->GetHandle())) : nullptr;
        const auto flags = static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT);
        const GtkMessageType type = icon & MB_ICONHAND ? GTK_MESSAGE_ERROR : GTK_MESSAGE_QUESTION;
        // The text is shown as it is: a file name is never read as a format.
        GtkWidget* box = gtk_message_dialog_new(owner, flags, type, GTK_BUTTONS_NONE, "%s",
                                                static_cast<const char*>(text.utf8_str()));
        gtk_window_set_title(GTK_WINDOW(box), kProgramName);
        // Added in reading order, they stand in it and Tab follows it.
        for (std::size_t i = 0; i < buttons.size(); ++i)
            gtk_dialog_add_button(GTK_DIALOG(box), buttons[i].utf8_str(), static_cast<int>(i));
        if (!buttons.empty())
            gtk_dialog_set_default_response(GTK_DIALOG(box), 0);
        const int response = gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        if (response < 0 || static_cast<std::size_t>(response) >= buttons.size())
            return buttons.empty() ? 0 : buttons.size() - 1;
        return static_cast<std::size_t>(response);
    }

    FolderChoice PickFolder(wxWindow* parent, const wxString& title, const wxString& startFolder) override
    {
        wxDirDialog picker(parent, title, startFolder, wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
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

using Slot = CServiceSlot<IDialogServices>;

} // namespace

IDialogServices& NativeDialogServices()
{
    static CNativeDialogServices native;
    return native;
}

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
