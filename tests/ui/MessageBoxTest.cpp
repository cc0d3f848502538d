// The native message boxes: Dutch buttons, the program's caption, and the
// answer mapped to the codes the windows test for.
#include "ui/DialogServices.h"

#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <gtest/gtest.h>

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
        *m_seen = {box->GetCaption(), box->GetMessage(), box->GetOKLabel(), box->GetCancelLabel(),
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
    IDialogServices* const installed = InstallDialogServices(nullptr); // the native ones
    wxTEST_DIALOG(result = AfxMessageBox(wxString::FromUTF8("Daisy-CD is gekopieerd."), c.type),
                  ExpectMessageBox(c.nativeAnswer, &seen));
    InstallDialogServices(installed);
    EXPECT_EQ(c.expected, result);
    EXPECT_EQ("Talvora", seen.caption);
    EXPECT_EQ("Daisy-CD is gekopieerd.", seen.message);
    EXPECT_EQ("OK", seen.ok);
    EXPECT_EQ(c.icon, seen.style & wxICON_MASK);
    EXPECT_EQ(c.withCancel, (seen.style & wxCANCEL) != 0);
    if (c.withCancel) {
        EXPECT_EQ("Annuleren", seen.cancel);
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
                                                 wxICON_INFORMATION, true}));

} // namespace
