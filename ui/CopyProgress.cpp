#include "ui/CopyProgress.h"

#include "ui/Accessibility.h"

#include "ui/DialogServices.h"

#include <wx/app.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/gauge.h>
#include <wx/msgdlg.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <future>
#include <memory>
#include <mutex>
#include <thread>

namespace copytext {

namespace {

wxString Utf8(const std::string& s)
{
    return wxString::FromUTF8(s.c_str());
}

wxString DutchNumber(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", value);
    for (char* p = text; *p; ++p)
        if (*p == '.')
            *p = ',';
    return text;
}

} // namespace

wxString Bytes(std::uint64_t bytes)
{
    const double kb = 1024.0, mb = kb * 1024.0, gb = mb * 1024.0;
    if (bytes >= gb)
        return DutchNumber(bytes / gb) + " GB";
    if (bytes >= mb)
        return DutchNumber(bytes / mb) + " MB";
    return DutchNumber(bytes / kb) + " kB";
}

wxString Done(std::uint64_t done, std::uint64_t total)
{
    return Bytes(done) + " van " + Bytes(total);
}

wxString TimeLeft(double seconds)
{
    if (!(seconds >= 0) || std::isinf(seconds))
        return wxString::FromUTF8("Resterende tijd wordt berekend...");
    if (seconds < 60) {
        const int s = std::max(1, static_cast<int>(std::ceil(seconds)));
        return wxString::Format("Nog ongeveer %d %s", s, s == 1 ? "seconde" : "seconden");
    }
    const int m = static_cast<int>(std::ceil(seconds / 60));
    return wxString::Format("Nog ongeveer %d %s", m, m == 1 ? "minuut" : "minuten");
}

wxString ReplaceQuestion(const std::string& path)
{
    return "Het bestand\n" + Utf8(path) + "\nbestaat al. Wilt u het vervangen?";
}

wxString ErrorMessage(const std::string& path, const std::string& reason)
{
    return wxString::FromUTF8("Kan niet kopiëren:\n") + Utf8(path) + "\n\n" + Utf8(reason);
}

} // namespace copytext

namespace {

const char* const kCancelling = "Bezig met annuleren...";

// Everything the worker and the window share; it outlives both.
struct Shared
{
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};
    std::atomic<std::uint64_t> total{0};
    std::atomic<bool> updatePending{false};
};

} // namespace

class CCopyProgress::CWindow final : public wxDialog
{
public:
    CWindow(wxWindow* parent, const wxString& title, std::shared_ptr<Shared> shared)
        : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxCAPTION | wxCLOSE_BOX),
          m_shared(std::move(shared))
    {
        auto* column = new wxBoxSizer(wxVERTICAL);
        // A visible label, which screen readers also take as the bar's name.
        auto* caption = new CCaption(this, "Voortgang:");
        column->Add(caption);
        m_gauge = new wxGauge(this, wxID_ANY, kRange, wxDefaultPosition, wxSize(360, -1));
        caption->SetLabelFor(m_gauge);
        m_bytes = new wxStaticText(this, wxID_ANY, copytext::Done(0, 0));
        m_time = new wxStaticText(this, wxID_ANY, copytext::TimeLeft(-1));
        m_cancel = new wxButton(this, wxID_CANCEL, "Annuleren");
        column->Add(m_gauge, wxSizerFlags().Expand());
        column->AddSpacer(8);
        column->Add(m_bytes);
        column->Add(m_time);
        column->AddSpacer(8);
        column->Add(m_cancel, wxSizerFlags().Right());
        auto* outer = new wxBoxSizer(wxVERTICAL);
        outer->Add(column, wxSizerFlags(1).Expand().Border(wxALL, 12));
        SetSizerAndFit(outer);
        CentreOnScreen();
        SetEscapeId(wxID_CANCEL);
        Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { RequestCancel(); }, wxID_CANCEL);
        Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent&) { RequestCancel(); });
        m_start = std::chrono::steady_clock::now();
    }

    // The copy ends the window, never the button: the worker must be done
    // with the files before anybody goes on.
    void RequestCancel()
    {
        m_shared->cancel = true;
        m_cancel->Disable();
        m_time->SetLabelText(wxString::FromUTF8(kCancelling));
    }

    void ShowProgress()
    {
        const std::uint64_t done = m_shared->done, total = m_shared->total;
        if (total > 0)
            m_gauge->SetValue(static_cast<int>(std::min<std::uint64_t>(kRange, done * kRange / total)));
        m_bytes->SetLabelText(copytext::Done(done, total));
        if (m_shared->cancel)
            return;
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        // A rate needs a little time and data before it means anything.
        const double left = elapsed > 2 && done > 0 ? (total - done) * elapsed / done : -1;
        m_time->SetLabelText(copytext::TimeLeft(left));
    }

private:
    static constexpr int kRange = 1000;
    std::shared_ptr<Shared> m_shared;
    wxGauge* m_gauge;
    wxStaticText* m_bytes;
    wxStaticText* m_time;
    wxButton* m_cancel;
    std::chrono::steady_clock::time_point m_start;
};

class CCopyProgress::CReporter final : public copyops::ICopyReporter
{
public:
    CReporter(CCopyProgress& owner, std::shared_ptr<Shared> shared) : m_owner(owner), m_shared(std::move(shared)) {}

    void Progress(std::uint64_t done, std::uint64_t total) override
    {
        m_shared->done = done;
        m_shared->total = total;
        // One repaint request in flight at a time, however fast the copy.
        if (m_shared->updatePending.exchange(true))
            return;
        CCopyProgress* owner = &m_owner;
        auto shared = m_shared;
        wxTheApp->CallAfter([owner, shared] {
            shared->updatePending = false;
            if (owner->m_window != nullptr)
                owner->m_window->ShowProgress();
        });
    }

    copyops::ReplaceAnswer AskReplace(const std::string& path) override
    {
        const wxString text = copytext::ReplaceQuestion(path);
        return OnUiThread<copyops::ReplaceAnswer>(
            [this, text] { return m_owner.AskReplace(m_owner.m_window, text); });
    }

    copyops::ErrorAnswer AskError(const std::string& path, const std::string& reason) override
    {
        const wxString text = copytext::ErrorMessage(path, reason);
        return OnUiThread<copyops::ErrorAnswer>([this, text] { return m_owner.AskError(m_owner.m_window, text); });
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

CCopyProgress::CCopyProgress(wxWindow* parent) : m_parent(parent) {}
CCopyProgress::~CCopyProgress() = default;

wxDialog* CCopyProgress::ProgressWindow() const
{
    return m_window;
}

bool CCopyProgress::RunCopy(const std::string& title, const std::function<bool(copyops::ICopyReporter&)>& work)
{
    auto shared = std::make_shared<Shared>();
    CWindow window(m_parent, wxString::FromUTF8(title.c_str()), shared);
    CReporter reporter(*this, shared);
    m_window = &window;

    bool result = false;
    std::thread worker([&] {
        result = work(reporter);
        // Queued behind every progress update and question of the copy; the
        // modal loop runs it even when the copy ended before it started.
        wxTheApp->CallAfter([&window] { window.EndModal(wxID_OK); });
    });
    window.ShowModal();
    worker.join();
    m_window = nullptr;

    return result;
}

void CCopyProgress::ShowError(const std::string& message)
{
    ShowMessage(wxString::FromUTF8(message.c_str()), MB_OK | MB_ICONHAND);
}

void CCopyProgress::ShowInfo(const std::string& message)
{
    ShowMessage(wxString::FromUTF8(message.c_str()), MB_OK | MB_ICONASTERISK);
}

void CCopyProgress::ShowMessage(const wxString& text, unsigned type)
{
    AfxMessageBox(text, type);
}

copyops::ReplaceAnswer CCopyProgress::AskReplace(wxWindow* parent, const wxString& text)
{
    wxMessageDialog box(parent, text, kProgramName, wxYES_NO | wxCANCEL | wxHELP | wxICON_QUESTION | wxCENTRE);
    box.SetYesNoCancelLabels("Ja", "Nee", "Annuleren");
    box.SetHelpLabel("Ja, alles");
    switch (box.ShowModal()) {
    case wxID_YES:
        return copyops::ReplaceAnswer::Yes;
    case wxID_HELP:
        return copyops::ReplaceAnswer::YesToAll;
    case wxID_NO:
        return copyops::ReplaceAnswer::No;
    default:
        return copyops::ReplaceAnswer::Cancel;
    }
}

copyops::ErrorAnswer CCopyProgress::AskError(wxWindow* parent, const wxString& text)
{
    wxMessageDialog box(parent, text, kProgramName, wxYES_NO | wxCANCEL | wxICON_ERROR | wxCENTRE);
    box.SetYesNoCancelLabels("Opnieuw", "Overslaan", "Annuleren");
    switch (box.ShowModal()) {
    case wxID_YES:
        return copyops::ErrorAnswer::Retry;
    case wxID_NO:
        return copyops::ErrorAnswer::Skip;
    default:
        return copyops::ErrorAnswer::Cancel;
    }
}
