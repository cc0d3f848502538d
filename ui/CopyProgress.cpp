#include "ui/CopyProgress.h"

#include "ui/Accessibility.h"

#include "ui/Dialog.h"
#include "ui/DialogServices.h"
#include "text/Utf8.h"

#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

#include <gtk/gtk.h>
#include <wx/button.h>
#include <wx/gauge.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>
#include <wx/timer.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace {

const char* const kCancelling = "Bezig met annuleren...";
// Until the copy has added up the disc, which takes a while on a slow
// drive, there are no figures to give: "0 kB van 0 kB" would be heard.
const char* const kCounting = "Bestanden worden geteld...";
// How long a window that names its book stays up at the least.
constexpr auto kHeadingHeardFor = std::chrono::milliseconds(1500);

// Everything the worker and the window share; it outlives both.
struct Shared
{
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic<bool> counted{false};
};

} // namespace

class CCopyProgress::CWindow final : public CDialog
{
public:
    CWindow(wxWindow* parent, const wxString& title, const wxString& heading, std::shared_ptr<Shared> shared)
        : CDialog(parent, wxID_ANY, title, wxCAPTION | wxCLOSE_BOX), m_shared(std::move(shared)), m_timer(this)
    {
        auto* column = new wxBoxSizer(wxVERTICAL);
        // A visible label, which screen readers also take as the bar's name
        // and the line's.
        auto* caption = new CCaption(this, "Voortgang:");
        column->Add(caption);
        m_gauge = new wxGauge(this, wxID_ANY, kRange);
        MakeBarVisible(m_gauge, Dlu(0, 8).y);
        AtLeast(m_gauge, 200, 0);
        caption->SetLabelFor(m_gauge);
        column->Add(m_gauge, wxSizerFlags().Expand().Border(wxTOP, Gap()));
        // The bar's value in words, in the Tab order, so that a screen
        // reader user can ask how far the copy is whenever they like.
        m_line = AtLeast(new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxTE_READONLY),
                         200, 0);
        // Wide enough for the longest the line gets, at the font in use.
        const wxString longest = ui::progresstext::Summary(999ull << 30, 999ull << 30, ui::progresstext::TimeLeft(-1));
        wxSize lineSize = m_line->GetMinSize();
        lineSize.IncTo(m_line->GetSizeFromTextSize(m_line->GetTextExtent(longest).x));
        m_line->SetMinSize(lineSize);
        AddAccessibleLabel(m_line, caption);
        ReadWholeText(m_line);
        // The focus starts on the line, so the window opens with which book
        // this is; a description without figures never goes stale.
        SetAccessibleDescription(m_line, heading);
        column->Add(m_line, wxSizerFlags().Expand().Border(wxTOP, Gap()));
        m_cancel = AtLeast(new wxButton(this, IDCANCEL, "&Annuleren"), 50, 14);
        column->Add(m_cancel, wxSizerFlags().Right().Border(wxTOP, GroupGap()));
        SetContent(column);
        CentreOnScreen();
        m_start = std::chrono::steady_clock::now();
        ShowProgress();
        // Four times a second at most, however fast the copy reports: every
        // change of the texts is an announcement for a screen reader.
        Bind(wxEVT_TIMER, [this](wxTimerEvent&) { ShowProgress(); });
        m_timer.Start(kUpdateMs);
    }

    // The copy ends the window, never the button: the worker must be done
    // with the files before anybody goes on.
    void RequestCancel()
    {
        m_shared->cancel = true;
        m_cancel->Disable();
        ShowProgress();
    }

    // While a question is open the window holds still: a screen reader
    // announces a changing bar in the program even behind the question.
    // The figures the copy had reached are shown before it holds.
    void Hold(bool hold)
    {
        if (hold)
            ShowProgress();
        m_held = hold;
    }

    void ShowProgress()
    {
        if (m_held)
            return;
        const std::uint64_t done = m_shared->done, total = m_shared->total;
        // Only changes are sent: each one reaches the screen reader, also
        // while the copy sits at 100 % flushing.
        const int value = total > 0 ? static_cast<int>(std::min<std::uint64_t>(kRange, done * kRange / total)) : 0;
        if (value != m_gauge->GetValue())
            m_gauge->SetValue(value);
        const wxString barText = wxString::Format("%d %%", ui::progresstext::Percent(done, total));
        if (barText != m_barText) {
            m_barText = barText;
            SetBarText(m_gauge, barText);
        }
        wxString state;
        if (m_shared->cancel) {
            state = wxString::FromUTF8(kCancelling);
        } else {
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
            // A rate needs a little time and data before it means anything.
            const double left = elapsed > 2 && done > 0 ? (total - done) * elapsed / done : -1;
            state = ui::progresstext::TimeLeft(left);
        }
        const wxString line =
            m_shared->counted || m_shared->cancel ? ui::progresstext::Summary(done, total, state) : wxString(kCounting);
        if (line != m_line->GetValue())
            m_line->ChangeValue(line);
    }

protected:
    void OnCancel() override { RequestCancel(); }

private:
    static constexpr int kRange = 1000;
    static constexpr int kUpdateMs = 250;
    std::shared_ptr<Shared> m_shared;
    wxGauge* m_gauge;
    wxTextCtrl* m_line;
    wxButton* m_cancel;
    wxTimer m_timer;
    wxString m_barText;
    bool m_held = false;
    std::chrono::steady_clock::time_point m_start;
};

// Keeps the window still while a question is open over it.
class CCopyProgress::HeldWhileAsking
{
public:
    explicit HeldWhileAsking(CWindow* window) : m_window(window)
    {
        if (m_window != nullptr)
            m_window->Hold(true);
    }
    ~HeldWhileAsking()
    {
        if (m_window != nullptr)
            m_window->Hold(false);
    }
    HeldWhileAsking(const HeldWhileAsking&) = delete;
    HeldWhileAsking& operator=(const HeldWhileAsking&) = delete;

private:
    CWindow* m_window;
};

class CCopyProgress::CReporter final : public copy::ICopyReporter
{
public:
    CReporter(CCopyProgress& owner, std::shared_ptr<Shared> shared) : m_owner(owner), m_shared(std::move(shared)) {}

    void Progress(std::uint64_t done, std::uint64_t total) override
    {
        // The window looks at these on its own clock.
        m_shared->done = done;
        m_shared->total = total;
        m_shared->counted = true;
    }

    copy::ReplaceAnswer AskReplace(const std::string& path) override
    {
        const wxString text = ui::progresstext::ReplaceQuestion(path);
        return OnUiThread<copy::ReplaceAnswer>(
            [this, text] { return m_owner.AskReplace(m_owner.m_window, text); });
    }

    copy::ErrorAnswer AskError(const std::string& path, const std::string& reason) override
    {
        const wxString text = ui::progresstext::ErrorMessage(path, reason);
        return OnUiThread<copy::ErrorAnswer>([this, text] { return m_owner.AskError(m_owner.m_window, text); });
    }


    bool Cancelled() const override { return m_shared->cancel; }

private:
    // Every question gets an answer, or the worker would wait for ever.
    template <class T, class F> T OnUiThread(F ask)
    {
        auto answer = std::make_shared<std::promise<T>>();
        std::future<T> result = answer->get_future();
        wxTheApp->CallAfter([answer, ask] { answer->set_value(ask()); });
        return result.get();
    }

    CCopyProgress& m_owner;
    std::shared_ptr<Shared> m_shared;
};

void ShownWindowCloser::operator()(wxWindow* window) const
{
    // Destroy only queues a top-level window's deletion.
    window->Hide();
    window->Destroy();
}

CCopyProgress::CCopyProgress(wxWindow* parent, const wxString& heading, ShownWindow before)
    : m_parent(parent), m_heading(heading), m_shown(std::move(before))
{
}

CCopyProgress::~CCopyProgress() = default;

wxDialog* CCopyProgress::ProgressWindow() const
{
    return m_window;
}

void CCopyProgress::RunCopy(const std::string& title, const std::function<void(copy::ICopyReporter&)>& work)
{
    auto shared = std::make_shared<Shared>();
    auto* window = new CWindow(m_parent, wxString::FromUTF8(title.c_str()), m_heading, shared);
    CReporter reporter(*this, shared);
    m_window = window;
    // Modal as a dialog is, but its own loop ends without hiding it.
    window->Show();
    gtk_window_set_modal(GTK_WINDOW(window->GetHandle()), TRUE);
    // Only now that the new window is up may the one before it go.
    m_shown.reset(window);
    {
        wxWindowDisabler others(window);
        wxGUIEventLoop loop;
        const auto shownAt = std::chrono::steady_clock::now();
        std::thread worker([&] {
            work(reporter);
            // A screen reader takes a moment to announce a window; which
            // book of a disc this is must not flash by unheard when the
            // book is small.
            if (!m_heading.empty())
                std::this_thread::sleep_until(shownAt + kHeadingHeardFor);
            // Queued behind every progress update and question of the copy
            // (the worker waits for each answer, so no question's loop is
            // running then); the loop runs it even when the copy ended
            // before it started.
            wxTheApp->CallAfter([&loop] { loop.ScheduleExit(); });
        });
        loop.Run();
        worker.join();
    }
    gtk_window_set_modal(GTK_WINDOW(window->GetHandle()), FALSE);
    m_window = nullptr;
}

copy::ReplaceAnswer CCopyProgress::AskReplace(wxWindow* parent, const wxString& text)
{
    static const copy::ReplaceAnswer answers[] = {copy::ReplaceAnswer::Yes, copy::ReplaceAnswer::YesToAll,
                                                     copy::ReplaceAnswer::No, copy::ReplaceAnswer::Cancel};
    const HeldWhileAsking held(m_window);
    const std::size_t button =
        DialogServices().Ask(parent, text, {"Ja", "Ja, alles", "Nee", "Annuleren"}, MB_ICONQUESTION);
    return answers[std::min<std::size_t>(button, 3)];
}

copy::ErrorAnswer CCopyProgress::AskError(wxWindow* parent, const wxString& text)
{
    static const copy::ErrorAnswer answers[] = {copy::ErrorAnswer::Retry, copy::ErrorAnswer::Skip,
                                                   copy::ErrorAnswer::SkipAll, copy::ErrorAnswer::Cancel};
    const HeldWhileAsking held(m_window);
    const std::size_t button =
        DialogServices().Ask(parent, text, {"Opnieuw", "Overslaan", "Alles overslaan", "Annuleren"}, MB_ICONHAND);
    return answers[std::min<std::size_t>(button, 3)];
}
