// main() for test programs that create windows: wxWidgets is started once
// for the whole program, and its assertions fail the running test instead
// of opening a dialog that nobody answers.
#include "ui/DialogServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

namespace {

class CTestApp : public wxApp
{
public:
    bool OnInit() override { return true; }
};

// A native message box nobody answers would hang the whole run; a test that
// means to show one installs its own services or the native ones itself.
class CUnexpectedDialogs : public IDialogServices
{
public:
    int MessageBox(wxWindow*, const wxString& text, unsigned) override
    {
        ADD_FAILURE() << "unexpected message box: " << text.utf8_string();
        return IDCANCEL;
    }
    std::size_t Ask(wxWindow*, const wxString& text, const std::vector<wxString>& buttons, unsigned) override
    {
        ADD_FAILURE() << "unexpected question: " << text.utf8_string();
        return buttons.size() - 1;
    }
    void Announce(const wxString& text) override { ADD_FAILURE() << "unexpected announcement: " << text.utf8_string(); }
    FolderChoice PickFolder(wxWindow*, const wxString& title, const wxString&) override
    {
        ADD_FAILURE() << "unexpected folder picker: " << title.utf8_string();
        return {};
    }
};

void AssertFails(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg)
{
    ADD_FAILURE_AT(file.utf8_str(), line) << "wx assertion in " << func.utf8_string() << ": "
                                          << cond.utf8_string() << " " << msg.utf8_string();
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    wxApp::SetInstance(new CTestApp);
    if (!wxEntryStart(argc, argv) || !wxTheApp->CallOnInit()) {
        fprintf(stderr, "cannot start wxWidgets (is there a display?)\n");
        return 1;
    }
    wxSetAssertHandler(AssertFails);
    // A log window would wait for a click that never comes.
    delete wxLog::SetActiveTarget(new wxLogStderr);
    CUnexpectedDialogs unexpected;
    InstallDialogServices(&unexpected);
    const int result = RUN_ALL_TESTS();
    InstallDialogServices(nullptr);
    wxTheApp->OnExit();
    wxEntryCleanup();
    return result;
}
