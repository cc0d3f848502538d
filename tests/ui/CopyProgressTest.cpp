// The progress window and its questions, fed from a worker thread as a real
// copy feeds them.
#include "support/CopyTestSupport.h"

#include "copy/FileOperations.h"
#include "support/ScriptedDialogs.h"
#include "ui/Accessibility.h"
#include "ui/CopyProgress.h"
#include "ui/DialogServices.h"

#include <gtest/gtest.h>

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/textctrl.h>

#include <gtk/gtk.h>

#include <chrono>
#include <thread>

using namespace copytest;
using namespace std::chrono_literals;
using copy::ErrorAnswer;
using copy::ReplaceAnswer;

namespace {

const std::string kTitle = "Bestanden worden gekopi\xC3\xAB" "erd naar /home/anna/Boeken/Boek";

template <class T> T* FindChild(wxWindow* parent, const std::function<bool(T*)>& match = {})
{
    for (wxWindow* child : parent->GetChildren())
        if (auto* c = dynamic_cast<T*>(child); c != nullptr && (!match || match(c)))
            return c;
    return nullptr;
}

wxTextCtrl* ProgressLine(wxWindow* window)
{
    return FindChild<wxTextCtrl>(window);
}

TEST(CopyProgressWindow, ShowsProgressAndCancelReachesTheWorker)
{
    CScriptedDialogs dialogs;
    CCopyProgress progress;
    wxString title, line, cancelLabel, cancelDescription, afterCancel;
    int gauge = -1;
    std::atomic<bool> clicked{false};
    std::chrono::steady_clock::time_point clickTime;
    double latency = -1;

    progress.RunCopy(kTitle, [&](copy::ICopyReporter& rep) {
        rep.Progress(0, 200 * 1024 * 1024);
        rep.Progress(50 * 1024 * 1024, 200 * 1024 * 1024);
        // The window shows the figures on its own clock, not per report.
        std::this_thread::sleep_for(400ms);
        wxTheApp->CallAfter([&] {
            wxDialog* w = progress.ProgressWindow();
            title = w->GetTitle();
            gauge = FindChild<wxGauge>(w)->GetValue();
            line = ProgressLine(w)->GetValue();
            auto* cancel = FindChild<wxButton>(w);
            cancelLabel = cancel->GetLabelText();
            cancelDescription = AccessibleDescription(cancel);
            clickTime = std::chrono::steady_clock::now();
            clicked = true;
            wxCommandEvent click(wxEVT_BUTTON, cancel->GetId());
            click.SetEventObject(cancel);
            cancel->GetEventHandler()->ProcessEvent(click);
            afterCancel = ProgressLine(w)->GetValue();
        });
        // A copy polls between chunks; the window must stay up until then.
        while (!rep.Cancelled())
            std::this_thread::sleep_for(1ms);
        latency = std::chrono::duration<double>(std::chrono::steady_clock::now() - clickTime).count();
    });

    EXPECT_TRUE(clicked);
    EXPECT_EQ(title.utf8_string(), kTitle) << "the whole destination path";
    EXPECT_EQ(gauge, 250);
    EXPECT_EQ(line.utf8_string(),
              "25 % \xE2\x80\x93 50,0 MB van 200,0 MB \xE2\x80\x93 resterende tijd wordt berekend...");
    EXPECT_EQ(cancelLabel, "Annuleren");
    EXPECT_EQ("", cancelDescription) << "figures there would be stale while Annuleren has the focus";
    EXPECT_TRUE(afterCancel.EndsWith("bezig met annuleren...")) << afterCancel;
    EXPECT_GE(latency, 0);
    EXPECT_EQ(progress.ProgressWindow(), nullptr);
    std::printf("cancel seen by the worker %.1f ms after the click\n", latency * 1000);
}

// What a screen reader hears on the progress line: all of it (GTK ends an
// entry's last run of text short by its extra bytes, and the line holds en
// dashes), which book this is, and no figures in a description that would
// go stale; a bar standing still sends nothing.
TEST(CopyProgressWindow, TheLineIsHeardWholeWithItsBookAndAStillBarIsQuiet)
{
    CScriptedDialogs dialogs;
    CCopyProgress progress(nullptr, "Boek 2 van 2: De stille haven");
    wxString line, lineDescription, cancelDescription;
    gint runEnd = -1;
    int barChanges = -1;
    progress.RunCopy(kTitle, [&](copy::ICopyReporter& rep) {
        rep.Progress(100, 100);
        std::this_thread::sleep_for(400ms);
        wxTheApp->CallAfter([&] {
            wxDialog* w = progress.ProgressWindow();
            line = ProgressLine(w)->GetValue();
            lineDescription = AccessibleDescription(ProgressLine(w));
            cancelDescription = AccessibleDescription(FindChild<wxButton>(w));
            gint start = -1;
            AtkObject* text = gtk_widget_get_accessible(ProgressLine(w)->GetHandle());
            atk_attribute_set_free(atk_text_get_run_attributes(ATK_TEXT(text), 0, &start, &runEnd));
            barChanges = 0;
            g_signal_connect(FindChild<wxGauge>(w)->GetHandle(), "notify::fraction",
                             G_CALLBACK(+[](GObject*, GParamSpec*, gpointer count) { ++*static_cast<int*>(count); }),
                             &barChanges);
        });
        std::this_thread::sleep_for(700ms);
    });
    EXPECT_TRUE(line.StartsWith(wxString::FromUTF8("100 % \xE2\x80\x93 "))) << line;
    EXPECT_EQ(static_cast<gint>(line.length()), runEnd);
    EXPECT_EQ("Boek 2 van 2: De stille haven", lineDescription);
    EXPECT_EQ("", cancelDescription);
    EXPECT_EQ(0, barChanges);
}

TEST(CopyProgressWindow, StaysLiveWhileTheWorkerIsStuck)
{
    CScriptedDialogs dialogs;
    CCopyProgress progress;
    std::atomic<int> handled{0};
    wxString beforeAnyFigures;
    progress.RunCopy(kTitle, [&](copy::ICopyReporter& rep) {
        // A read that blocks, and ignores the cancel, for a while.
        wxTheApp->CallAfter([&] {
            wxDialog* w = progress.ProgressWindow();
            beforeAnyFigures = ProgressLine(w)->GetValue();
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
    });
    EXPECT_EQ(handled.load(), 1);
    EXPECT_EQ(beforeAnyFigures.utf8_string(), "Bestanden worden geteld...");
}

TEST(CopyProgressWindow, CopyThatEndsAtOnceDoesNotHang)
{
    CScriptedDialogs dialogs;
    CCopyProgress progress;
    int runs = 0;
    for (int i = 0; i < 2; ++i)
        progress.RunCopy(kTitle, [&](copy::ICopyReporter&) { ++runs; });
    EXPECT_EQ(runs, 2);
}

TEST(CopyProgressWindow, QuestionsAreAskedOnTheInterfaceThreadAndAnswered)
{
    CScriptedDialogs dialogs;
    for (const std::size_t button : {1, 2, 1, 0, 3, 2})
        dialogs.AnswerQuestion(button);
    bool askedOnUiThread = true;
    dialogs.onShow = [&](const ShownMessage&) { askedOnUiThread = askedOnUiThread && wxThread::IsMain(); };
    CCopyProgress progress;
    std::vector<int> got;
    progress.RunCopy(kTitle, [&](copy::ICopyReporter& rep) {
        got.push_back(static_cast<int>(rep.AskReplace("/out/a.mp3")));
        got.push_back(static_cast<int>(rep.AskReplace("/out/b.mp3")));
        got.push_back(static_cast<int>(rep.AskError("/out/c.mp3", "De schijf is vol.")));
        got.push_back(static_cast<int>(rep.AskError("/out/c.mp3", "x")));
        got.push_back(static_cast<int>(rep.AskError("/out/c.mp3", "x")));
        got.push_back(static_cast<int>(rep.AskError("/out/c.mp3", "x")));
    });
    const std::vector<int> want = {int(ReplaceAnswer::YesToAll), int(ReplaceAnswer::No), int(ErrorAnswer::Skip),
                                   int(ErrorAnswer::Retry), int(ErrorAnswer::Cancel), int(ErrorAnswer::SkipAll)};
    EXPECT_EQ(got, want);
    EXPECT_TRUE(askedOnUiThread);
    ASSERT_EQ(dialogs.shown.size(), 6u);
    EXPECT_EQ(dialogs.shown[0].text, ui::progresstext::ReplaceQuestion("/out/a.mp3").utf8_string());
    EXPECT_EQ(dialogs.shown[2].text, ui::progresstext::ErrorMessage("/out/c.mp3", "De schijf is vol.").utf8_string());
    // Reading order, left to right and in Tab order.
    const std::vector<std::string> replace = {"Ja", "Ja, alles", "Nee", "Annuleren"};
    const std::vector<std::string> error = {"Opnieuw", "Overslaan", "Alles overslaan", "Annuleren"};
    EXPECT_EQ(dialogs.shown[0].buttons, replace);
    EXPECT_EQ(dialogs.shown[0].type, MB_ICONQUESTION);
    EXPECT_EQ(dialogs.shown[2].buttons, error);
    EXPECT_EQ(dialogs.shown[2].type, MB_ICONHAND);
}

TEST(CopyProgressWindow, RealCopyThroughTheWindow)
{
    CScratch s;
    Write(s / "disc/ncc.html", "ncc");
    Write(s / "disc/a/01.mp3", Pattern(5 * copy::CCopyEngine::kChunkBytes));
    Write(s / "out/ncc.html", "old");
    CScriptedDialogs dialogs;
    dialogs.AnswerQuestion(0);
    CCopyProgress progress;
    copy::CFileOperations ops([&](const std::string& title, const auto& work) { progress.RunCopy(title, work); });
    EXPECT_TRUE(ops.Copy(s / "disc/", s / "out", "", "", kTitle, true, {}));
    EXPECT_EQ(Read(s / "out/ncc.html"), "ncc");
    EXPECT_EQ(Read(s / "out/a/01.mp3"), Pattern(5 * copy::CCopyEngine::kChunkBytes));
    EXPECT_EQ(dialogs.shown.size(), 1u);
}

struct TimeCase
{
    double seconds;
    const char* text;
};

TEST(CopyTexts, DutchFigures)
{
    EXPECT_EQ(ui::progresstext::Bytes(5 * 1024), "5,0 kB");
    EXPECT_EQ(ui::progresstext::Bytes(2516582), "2,4 MB");
    EXPECT_EQ(ui::progresstext::Bytes(3ull << 30), "3,0 GB");
    EXPECT_EQ(ui::progresstext::Done(0, 600ull << 20), "0,0 kB van 600,0 MB");
    const std::vector<TimeCase> times = {{-1, "Resterende tijd wordt berekend..."},
                                         {0.2, "Nog ongeveer 1 seconde"},
                                         {42, "Nog ongeveer 42 seconden"},
                                         {60, "Nog ongeveer 1 minuut"},
                                         {61, "Nog ongeveer 2 minuten"}};
    for (const TimeCase& t : times)
        EXPECT_EQ(ui::progresstext::TimeLeft(t.seconds), t.text) << t.seconds;
    const std::vector<std::tuple<std::uint64_t, std::uint64_t, int>> percents = {
        {0, 0, 0}, {1, 3, 33}, {199, 200, 99}, {200, 200, 100}, {300, 200, 100}, {~0ull / 2, ~0ull, 49}};
    for (const auto& [done, total, percent] : percents)
        EXPECT_EQ(ui::progresstext::Percent(done, total), percent) << done << " of " << total;
}

} // namespace
