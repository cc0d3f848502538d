// The progress window and its questions, fed from a worker thread as a real
// copy feeds them.
#include "CopyTestSupport.h"

#include "copy/FileOperations.h"
#include "ui/CopyProgress.h"
#include "ui/DialogServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/stattext.h>
#include <wx/testing.h>

#include <chrono>
#include <thread>

using namespace copytest;
using namespace std::chrono_literals;
using copyops::ErrorAnswer;
using copyops::ReplaceAnswer;

namespace {

const std::string kTitle = "Bestanden worden gekopi\xC3\xAB" "erd naar /home/anna/Boeken/Boek";

template <class T> T* FindChild(wxWindow* parent, const std::function<bool(T*)>& match = {})
{
    for (wxWindow* child : parent->GetChildren())
        if (auto* c = dynamic_cast<T*>(child); c != nullptr && (!match || match(c)))
            return c;
    return nullptr;
}

std::vector<wxString> Labels(wxWindow* window)
{
    std::vector<wxString> labels;
    for (wxWindow* child : window->GetChildren())
        if (auto* t = dynamic_cast<wxStaticText*>(child))
            labels.push_back(t->GetLabelText());
    return labels;
}

// Questions and messages answered from scripts, on the interface thread.
class CScriptedProgress final : public CCopyProgress
{
public:
    std::vector<ReplaceAnswer> replaceAnswers;
    std::vector<ErrorAnswer> errorAnswers;
    std::vector<wxString> questions;
    std::vector<wxString> messages;
    bool askedOnUiThread = true;

protected:
    ReplaceAnswer AskReplace(wxWindow*, const wxString& text) override
    {
        askedOnUiThread = askedOnUiThread && wxThread::IsMain();
        questions.push_back(text);
        const auto a = replaceAnswers.at(0);
        replaceAnswers.erase(replaceAnswers.begin());
        return a;
    }
    ErrorAnswer AskError(wxWindow*, const wxString& text) override
    {
        askedOnUiThread = askedOnUiThread && wxThread::IsMain();
        questions.push_back(text);
        const auto a = errorAnswers.at(0);
        errorAnswers.erase(errorAnswers.begin());
        return a;
    }
    void ShowMessage(const wxString& text, unsigned type) override
    {
        messages.push_back(text);
        types.push_back(type);
    }

public:
    std::vector<unsigned> types;
};

TEST(CopyProgressWindow, ShowsProgressAndCancelReachesTheWorker)
{
    CScriptedProgress progress;
    wxString title, bytes, cancelLabel, afterCancel;
    int gauge = -1;
    std::atomic<bool> clicked{false};
    std::chrono::steady_clock::time_point clickTime;
    double latency = -1;

    const bool ok = progress.RunCopy(kTitle, [&](copyops::ICopyReporter& rep) {
        rep.Progress(0, 200 * 1024 * 1024);
        rep.Progress(50 * 1024 * 1024, 200 * 1024 * 1024);
        wxTheApp->CallAfter([&] {
            wxDialog* w = progress.ProgressWindow();
            title = w->GetTitle();
            gauge = FindChild<wxGauge>(w)->GetValue();
            bytes = Labels(w).at(1);
            auto* cancel = FindChild<wxButton>(w);
            cancelLabel = cancel->GetLabel();
            clickTime = std::chrono::steady_clock::now();
            clicked = true;
            wxCommandEvent click(wxEVT_BUTTON, cancel->GetId());
            click.SetEventObject(cancel);
            cancel->GetEventHandler()->ProcessEvent(click);
            afterCancel = Labels(w).at(2);
        });
        // A copy polls between chunks; the window must stay up until then.
        while (!rep.Cancelled())
            std::this_thread::sleep_for(1ms);
        latency = std::chrono::duration<double>(std::chrono::steady_clock::now() - clickTime).count();
        return false;
    });

    EXPECT_FALSE(ok);
    EXPECT_TRUE(clicked);
    EXPECT_EQ(title.utf8_string(), kTitle);
    EXPECT_EQ(gauge, 250);
    EXPECT_EQ(bytes, "50,0 MB van 200,0 MB");
    EXPECT_EQ(cancelLabel, "Annuleren");
    EXPECT_EQ(afterCancel, "Bezig met annuleren...");
    EXPECT_GE(latency, 0);
    EXPECT_EQ(progress.ProgressWindow(), nullptr);
    std::printf("cancel seen by the worker %.1f ms after the click\n", latency * 1000);
}

TEST(CopyProgressWindow, StaysLiveWhileTheWorkerIsStuck)
{
    CScriptedProgress progress;
    std::atomic<int> handled{0};
    progress.RunCopy(kTitle, [&](copyops::ICopyReporter& rep) {
        // A read that blocks, and ignores the cancel, for a while.
        wxTheApp->CallAfter([&] {
            wxDialog* w = progress.ProgressWindow();
            auto* cancel = FindChild<wxButton>(w);
            wxCommandEvent click(wxEVT_BUTTON, cancel->GetId());
            cancel->GetEventHandler()->ProcessEvent(click);
            handled = cancel->IsEnabled() ? -1 : 1;
        });
        const auto until = std::chrono::steady_clock::now() + 500ms;
        while (std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(handled.load(), 1) << "the window handled the click while the worker was stuck";
        EXPECT_TRUE(rep.Cancelled());
        return false;
    });
    EXPECT_EQ(handled.load(), 1);
}

TEST(CopyProgressWindow, CopyThatEndsAtOnceDoesNotHang)
{
    CScriptedProgress progress;
    EXPECT_TRUE(progress.RunCopy(kTitle, [](copyops::ICopyReporter&) { return true; }));
    EXPECT_FALSE(progress.RunCopy(kTitle, [](copyops::ICopyReporter&) { return false; }));
}

TEST(CopyProgressWindow, QuestionsAreAskedOnTheInterfaceThreadAndAnswered)
{
    CScriptedProgress progress;
    progress.replaceAnswers = {ReplaceAnswer::YesToAll, ReplaceAnswer::No};
    progress.errorAnswers = {ErrorAnswer::Skip, ErrorAnswer::Retry, ErrorAnswer::Cancel};
    std::vector<int> got;
    progress.RunCopy(kTitle, [&](copyops::ICopyReporter& rep) {
        got.push_back(static_cast<int>(rep.AskReplace("/out/a.mp3")));
        got.push_back(static_cast<int>(rep.AskReplace("/out/b.mp3")));
        got.push_back(static_cast<int>(rep.AskError("/out/c.mp3", "De schijf is vol.")));
        got.push_back(static_cast<int>(rep.AskError("/out/c.mp3", "x")));
        got.push_back(static_cast<int>(rep.AskError("/out/c.mp3", "x")));
        return true;
    });
    const std::vector<int> want = {int(ReplaceAnswer::YesToAll), int(ReplaceAnswer::No), int(ErrorAnswer::Skip),
                                   int(ErrorAnswer::Retry), int(ErrorAnswer::Cancel)};
    EXPECT_EQ(got, want);
    EXPECT_TRUE(progress.askedOnUiThread);
    ASSERT_EQ(progress.questions.size(), 5u);
    EXPECT_EQ(progress.questions[0], copytext::ReplaceQuestion("/out/a.mp3"));
    EXPECT_EQ(progress.questions[2], copytext::ErrorMessage("/out/c.mp3", "De schijf is vol."));
}

TEST(CopyProgressWindow, ErrorsAndNewsGetTheirOwnIcons)
{
    CScriptedProgress progress;
    progress.ShowError("fout");
    progress.ShowInfo("geannuleerd");
    EXPECT_EQ(progress.types, (std::vector<unsigned>{MB_OK | MB_ICONHAND, MB_OK | MB_ICONASTERISK}));
}

TEST(CopyProgressWindow, RealCopyThroughTheWindow)
{
    CScratch s;
    Write(s / "disc/ncc.html", "ncc");
    Write(s / "disc/a/01.mp3", Pattern(5 * copyops::CCopyEngine::kChunkBytes));
    Write(s / "out/ncc.html", "old");
    CScriptedProgress progress;
    progress.replaceAnswers = {ReplaceAnswer::Yes};
    copyjob::CFileOperations ops(progress);
    EXPECT_TRUE(ops.Copy(s / "disc/", s / "out", "", "", kTitle, true));
    EXPECT_EQ(Read(s / "out/ncc.html"), "ncc");
    EXPECT_EQ(Read(s / "out/a/01.mp3"), Pattern(5 * copyops::CCopyEngine::kChunkBytes));
    EXPECT_EQ(progress.questions.size(), 1u);
}

// The native questions: Dutch labels, and each button's answer.
class CExpectButtons : public wxExpectModalBase<wxMessageDialog>
{
public:
    CExpectButtons(int id, std::vector<wxString> labels) : m_id(id), m_labels(std::move(labels)) {}

protected:
    int OnInvoked(wxMessageDialog* dlg) const override
    {
        std::vector<wxString> shown = {dlg->GetYesLabel(), dlg->GetNoLabel(), dlg->GetCancelLabel()};
        if (dlg->GetMessageDialogStyle() & wxHELP)
            shown.push_back(dlg->GetHelpLabel());
        EXPECT_EQ(shown, m_labels);
        return m_id;
    }

private:
    int m_id;
    std::vector<wxString> m_labels;
};

class CNativeQuestions final : public CCopyProgress
{
public:
    using CCopyProgress::AskError;
    using CCopyProgress::AskReplace;
};

TEST(CopyProgressQuestions, ReplaceQuestionButtons)
{
    const std::vector<wxString> labels = {"Ja", "Nee", "Annuleren", "Ja, alles"};
    const std::vector<std::pair<int, ReplaceAnswer>> cases = {{wxID_YES, ReplaceAnswer::Yes},
                                                              {wxID_HELP, ReplaceAnswer::YesToAll},
                                                              {wxID_NO, ReplaceAnswer::No},
                                                              {wxID_CANCEL, ReplaceAnswer::Cancel}};
    for (const auto& [button, answer] : cases) {
        CNativeQuestions q;
        ReplaceAnswer got{};
        wxTEST_DIALOG(got = q.AskReplace(nullptr, "x"), CExpectButtons(button, labels));
        EXPECT_EQ(got, answer) << button;
    }
}

TEST(CopyProgressQuestions, ErrorMessageButtons)
{
    const std::vector<wxString> labels = {"Opnieuw", "Overslaan", "Annuleren"};
    const std::vector<std::pair<int, ErrorAnswer>> cases = {
        {wxID_YES, ErrorAnswer::Retry}, {wxID_NO, ErrorAnswer::Skip}, {wxID_CANCEL, ErrorAnswer::Cancel}};
    for (const auto& [button, answer] : cases) {
        CNativeQuestions q;
        ErrorAnswer got{};
        wxTEST_DIALOG(got = q.AskError(nullptr, "x"), CExpectButtons(button, labels));
        EXPECT_EQ(got, answer) << button;
    }
}

struct TimeCase
{
    double seconds;
    const char* text;
};

TEST(CopyTexts, DutchFigures)
{
    EXPECT_EQ(copytext::Bytes(5 * 1024), "5,0 kB");
    EXPECT_EQ(copytext::Bytes(2516582), "2,4 MB");
    EXPECT_EQ(copytext::Bytes(3ull << 30), "3,0 GB");
    EXPECT_EQ(copytext::Done(0, 600ull << 20), "0,0 kB van 600,0 MB");
    const std::vector<TimeCase> times = {{-1, "Resterende tijd wordt berekend..."},
                                         {0.2, "Nog ongeveer 1 seconde"},
                                         {42, "Nog ongeveer 42 seconden"},
                                         {60, "Nog ongeveer 1 minuut"},
                                         {61, "Nog ongeveer 2 minuten"}};
    for (const TimeCase& t : times)
        EXPECT_EQ(copytext::TimeLeft(t.seconds), t.text) << t.seconds;
}

} // namespace
