#include "ui/DialogServices.h"

#include "ui/ServiceSlot.h"

#include <wx/dirdlg.h>
#include <wx/filename.h>
#include <wx/msgdlg.h>
#include <wx/utils.h>

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <algorithm>

MessageParts SplitMessage(const wxString& text)
{
    const size_t end = text.find('\n');
    if (end == wxString::npos)
        return {text, wxString()};
    return {text.substr(0, end), text.substr(end + 1)};
}

std::vector<wxString> WithAccessKeys(const std::vector<wxString>& labels)
{
    std::vector<wxString> marked(labels.size());
    std::vector<wxUniChar> used;
    auto isFree = [&](wxUniChar c) {
        return wxIsalpha(c) && std::find(used.begin(), used.end(), wxTolower(c)) == used.end();
    };
    auto mark = [&](std::size_t i) {
        const wxString& label = labels[i];
        size_t at = wxString::npos;
        for (size_t k = 0; k < label.length() && at == wxString::npos; ++k)
            if ((k == 0 || !wxIsalpha(label[k - 1])) && isFree(label[k]))
                at = k;
        for (size_t k = 0; k < label.length() && at == wxString::npos; ++k)
            if (isFree(label[k]))
                at = k;
        wxString text;
        for (size_t k = 0; k < label.length(); ++k) {
            if (k == at)
                text += '_';
            text += label[k] == '_' ? wxString("__") : wxString(label[k]);
        }
        if (at != wxString::npos)
            used.push_back(wxTolower(label[at]));
        marked[i] = text;
    };
    if (!labels.empty())
        mark(labels.size() - 1);
    for (std::size_t i = 0; i + 1 < labels.size(); ++i)
        mark(i);
    return marked;
}

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

        const MessageParts parts = SplitMessage(text);
        wxMessageDialog box(parent, parts.primary, kProgramName, style | wxCENTRE);
        if (!parts.secondary.empty())
            box.SetExtendedMessage(parts.secondary);
        // Dutch whatever the system's language, as in the rest of the
        // program, and each with its access key.
        if (withCancel)
            box.SetOKCancelLabels("&OK", "&Annuleren");
        else
            box.SetOKLabel("&OK");
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
        const MessageParts parts = SplitMessage(text);
        GtkWidget* box = gtk_message_dialog_new(owner, flags, type, GTK_BUTTONS_NONE, "%s",
                                                static_cast<const char*>(parts.primary.utf8_str()));
        if (!parts.secondary.empty())
            gtk_message_dialog_format_secondary_text(GTK_MESSAGE_DIALOG(box), "%s",
                                                     static_cast<const char*>(parts.secondary.utf8_str()));
        gtk_window_set_title(GTK_WINDOW(box), kProgramName);
        // Added in reading order, they stand in it and Tab follows it.
        const std::vector<wxString> labels = WithAccessKeys(buttons);
        for (std::size_t i = 0; i < labels.size(); ++i)
            gtk_dialog_add_button(GTK_DIALOG(box), labels[i].utf8_str(), static_cast<int>(i));
        if (!buttons.empty())
            gtk_dialog_set_default_response(GTK_DIALOG(box), 0);
        const int response = gtk_dialog_run(GTK_DIALOG(box));
        gtk_widget_destroy(box);
        if (response < 0 || static_cast<std::size_t>(response) >= buttons.size())
            return buttons.empty() ? 0 : buttons.size() - 1;
        return static_cast<std::size_t>(response);
    }

    void Announce(const wxString& text) override
    {
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (bus == nullptr)
            return;
        GDBusMessage* call = g_dbus_message_new_method_call(
            "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify");
        // Sent without waiting for the reply, so that the program may end
        // at once; only the sending is awaited, or the end would drop it.
        g_dbus_message_set_body(call, g_variant_new("(susssasa{sv}i)", kProgramName, 0u, "com.merrowind.Talvora",
                                                    kProgramName, static_cast<const char*>(text.utf8_str()),
                                                    nullptr, nullptr, -1));
        g_dbus_message_set_flags(call, G_DBUS_MESSAGE_FLAGS_NO_REPLY_EXPECTED);
        g_dbus_connection_send_message(bus, call, G_DBUS_SEND_MESSAGE_FLAGS_NONE, nullptr, nullptr);
        g_dbus_connection_flush_sync(bus, nullptr, nullptr);
        g_object_unref(call);
        g_object_unref(bus);
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
