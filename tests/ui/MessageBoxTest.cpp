// The native message boxes: Dutch buttons, the program's caption, and the
// answer mapped to the codes the windows test for.
#include "ui/DialogServices.h"

#include "support/ModalDriver.h"
#include "support/TableCases.h"

#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <gtest/gtest.h>

#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>

namespace {

struct Seen
{
    wxString caption, message, ok, cancel;
    long style = 0;
};

class ExpectMessageBox : public wxExpectModalBase<wxMessageDialog, ExpectMessageBox>
{
public:
    ExpectMessageBox(int answer, Seen* seen) : m_answer(answer), m_seen(seen) {}

protected:
    int OnInvoked(wxMessageDialog* box) const override
    {
        *m_seen = {box->GetCaption(), box->GetMessage() + "|" + box->GetExtendedMessage(), box->GetOKLabel(), box->GetCancelLabel(),
                   box->GetMessageDialogStyle()};
        return m_answer;
    }

private:
    int m_answer;
    Seen* m_seen;
};

struct BoxCase
{
    unsigned type;
    int nativeAnswer;
    int expected;
    long icon;
    bool withCancel;
};

void PrintTo(const BoxCase& c, std::ostream* out)
{
    *out << "type 0x" << std::hex << c.type << " answered " << std::dec << c.nativeAnswer;
}

class NativeMessageBox : public testing::TestWithParam<BoxCase>
{};

TEST_P(NativeMessageBox, SpeaksDutchAndMapsTheAnswer)
{
    const BoxCase& c = GetParam();
    Seen seen;
    int result = 0;
    IDialogServices* const installed = InstallDialogServices(&NativeDialogServices());
    wxTEST_DIALOG(result = AfxMessageBox(wxString::FromUTF8("Daisy-CD is gekopieerd.\nTweede regel\nDerde"), c.type),
                  ExpectMessageBox(c.nativeAnswer, &seen));
    InstallDialogServices(installed);
    EXPECT_EQ(c.expected, result);
    EXPECT_EQ("Talvora", seen.caption);
    // The first line as the primary text and the rest below it, so that a
    // screen reader reads all of it; each button with its access key.
    EXPECT_EQ("Daisy-CD is gekopieerd.|Tweede regel\nDerde", seen.message);
    EXPECT_EQ("_OK", seen.ok);
    EXPECT_EQ(c.icon, seen.style & wxICON_MASK);
    EXPECT_EQ(c.withCancel, (seen.style & wxCANCEL) != 0);
    if (c.withCancel) {
        EXPECT_EQ("_Annuleren", seen.cancel);
    }
}

INSTANTIATE_TEST_SUITE_P(Types, NativeMessageBox,
                         testing::Values(BoxCase{MB_OK | MB_ICONHAND, wxID_OK, IDOK, wxICON_ERROR, false},
                                         BoxCase{MB_OK | MB_ICONASTERISK, wxID_OK, IDOK, wxICON_INFORMATION, false},
                                         // Escape on a box with only OK still counts as OK.
                                         BoxCase{MB_OK | MB_ICONHAND, wxID_CANCEL, IDOK, wxICON_ERROR, false},
                                         BoxCase{MB_OKCANCEL | MB_ICONASTERISK, wxID_OK, IDOK, wxICON_INFORMATION,
                                                 true},
                                         BoxCase{MB_OKCANCEL | MB_ICONASTERISK, wxID_CANCEL, IDCANCEL,
                                                 wxICON_INFORMATION, true}), [](const testing::TestParamInfo<BoxCase>& row) { return RowName(std::string(row.param.withCancel ? "ok cancel" : "ok") + (row.param.expected == IDOK ? " answers ok" : " answers cancel"), row.index); });

// The native question as it is on screen: its buttons from left to right
// once GTK has laid them out, and a way to press one.
struct NativeQuestion
{
    GtkWidget* dialog = nullptr;
    std::vector<std::pair<int, GtkWidget*>> buttons; // x, button
    bool laidOut = false;

    static NativeQuestion Find()
    {
        NativeQuestion found;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < deadline) {
            GList* windows = gtk_window_list_toplevels();
            for (GList* w = windows; w != nullptr; w = w->next)
                if (GTK_IS_MESSAGE_DIALOG(w->data) && gtk_widget_get_mapped(GTK_WIDGET(w->data)))
                    found.dialog = GTK_WIDGET(w->data);
            g_list_free(windows);
            found.buttons.clear();
            found.laidOut = true;
            if (found.dialog != nullptr)
                for (const int response : {0, 1, 2, 3})
                    if (GtkWidget* b = gtk_dialog_get_widget_for_response(GTK_DIALOG(found.dialog), response)) {
                        GtkAllocation at;
                        gtk_widget_get_allocation(b, &at);
                        found.buttons.emplace_back(at.x, b);
                        found.laidOut = found.laidOut && at.width > 1;
                    }
            if (!found.buttons.empty() && found.laidOut)
                break;
            gtk_main_iteration_do(FALSE);
        }
        std::sort(found.buttons.begin(), found.buttons.end());
        return found;
    }

    std::vector<std::string> Labels() const
    {
        std::vector<std::string> labels;
        for (const auto& [x, button] : buttons)
            labels.push_back(gtk_button_get_label(GTK_BUTTON(button)));
        return labels;
    }
};

TEST(NativeQuestion, ButtonsReadLeftToRightAndEachGivesItsIndex)
{
    const std::vector<wxString> buttons = {"Ja", "Ja, alles", "Nee", "Annuleren"};
    IDialogServices* const installed = InstallDialogServices(&NativeDialogServices());
    // A file name that looks like a format or markup is shown as it is.
    const std::string text = "Het bestand\n/boek/%s%n <b>&amp;.mp3\nbestaat al.";
    // Each button in turn, then Escape, which is the last one.
    for (int press = 0; press <= 4; ++press) {
        std::vector<std::string> seen;
        std::string title, shown;
        WhenModalRuns([&] {
            NativeQuestion question = NativeQuestion::Find();
            if (question.dialog == nullptr)
                return;
            seen = question.Labels();
            title = gtk_window_get_title(GTK_WINDOW(question.dialog));
            gchar* primary = nullptr;
            gchar* secondary = nullptr;
            g_object_get(question.dialog, "text", &primary, "secondary-text", &secondary, nullptr);
            shown = std::string(primary != nullptr ? primary : "") + "|" + (secondary != nullptr ? secondary : "");
            g_free(primary);
            g_free(secondary);
            if (press < 4)
                gtk_button_clicked(GTK_BUTTON(question.buttons.at(press).second));
            else
                gtk_dialog_response(GTK_DIALOG(question.dialog), GTK_RESPONSE_DELETE_EVENT);
        });
        const std::size_t answer = DialogServices().Ask(nullptr, wxString::FromUTF8(text), buttons, MB_ICONQUESTION);
        EXPECT_EQ(std::vector<std::string>({"_Ja", "Ja, a_lles", "_Nee", "_Annuleren"}), seen);
        EXPECT_EQ("Talvora", title);
        EXPECT_EQ("Het bestand|/boek/%s%n <b>&amp;.mp3\nbestaat al.", shown);
        EXPECT_EQ(static_cast<std::size_t>(std::min(press, 3)), answer) << press;
    }
    InstallDialogServices(installed);
}

struct AccessKeyCase
{
    const char* name;
    std::vector<wxString> labels;
    std::vector<wxString> marked;
};
PRINT_CASE_AS(AccessKeyCase, name)

class AccessKeys : public testing::TestWithParam<AccessKeyCase>
{};

TEST_P(AccessKeys, EveryButtonGetsOneOfItsOwn)
{
    EXPECT_EQ(GetParam().marked, WithAccessKeys(GetParam().labels));
}

// Annuleren keeps its A in every window; the others take a word's initial,
// else any free letter.
INSTANTIATE_TEST_SUITE_P(
    Questions, AccessKeys,
    testing::Values(AccessKeyCase{"replace", {"Ja", "Ja, alles", "Nee", "Annuleren"},
                                  {"_Ja", "Ja, a_lles", "_Nee", "_Annuleren"}},
                    AccessKeyCase{"error", {"Opnieuw", "Overslaan", "Alles overslaan", "Annuleren"},
                                  {"_Opnieuw", "O_verslaan", "A_lles overslaan", "_Annuleren"}},
                    AccessKeyCase{"underscore_kept", {"a_b", "Annuleren"}, {"a___b", "_Annuleren"}},
                    AccessKeyCase{"no_letter_left", {"1", "Annuleren"}, {"1", "_Annuleren"}}),
    CaseName());

} // namespace
