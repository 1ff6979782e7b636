#include "app/sfx/win/WinFrontEnd.h"

#include <windows.h>
// After windows.h: these need its types.
#include <commctrl.h>
#include <commdlg.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "app/core/Progress.h"
#include "app/core/Questions.h"
#include "app/core/Secrets.h"
#include "app/core/Texts.h"
#include "app/sfx/SelfExtractor.h"
#include "app/sfx/win/DialogTemplate.h"
#include "os/Logger.h"
#include "os/windows/Wide.h"

namespace Sfx::Win {

using App::ExitStatus;
using Icon = App::MessageBoxes::Icon;
using Buttons = App::MessageBoxes::Buttons;
using Answer = App::MessageBoxes::Answer;

namespace {

// Our own texts are valid UTF-8; a name that is not still shows, marked.
std::wstring W(const std::string& text) {
    try {
        return OS::Wide(text);
    } catch (const std::exception&) {
        return OS::Wide(App::EscapeControls(text));
    }
}

std::wstring Lines(const std::string& text) {
    // Static controls break lines at "\r\n".
    std::wstring out;
    for (wchar_t c : W(text)) {
        if (c == L'\n')
            out += L'\r';
        out += c;
    }
    return out;
}

std::wstring WindowText(HWND control) {
    const int n = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(control, text.data(), n + 1)));
    return text;
}

// A password field's text in wiping memory; the wide copy is wiped as well.
App::Secret PasswordOf(HWND control) {
    std::wstring wide = WindowText(control);
    std::string utf8 = OS::Utf8(wide);
    App::Secret secret(utf8, utf8.size());
    SecureZeroMemory(wide.data(), wide.size() * sizeof(wchar_t));
    App::WipeString(utf8);
    return secret;
}

// Releases a COM interface when it goes.
template <class T>
struct ComRef {
    T* p = nullptr;
    ~ComRef() {
        if (p)
            p->Release();
    }
};

// The dialog's state, kept where the procedure finds it.
template <class T>
T* StateOf(HWND dialog, UINT message, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    return reinterpret_cast<T*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

enum : WORD {
    kIdPassword = 101,
    kIdFolder,
    kIdBrowse,
    kIdBar,
    kIdProgressText,
    kIdBackground,
    kIdText,
    kIdPath,
    kIdStillNeeded,
    kIdYesToAll,
    kIdNoToAll,
};

constexpr DWORD kField = WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kPush = WS_TABSTOP | BS_PUSHBUTTON;
constexpr DWORD kDefault = WS_TABSTOP | BS_DEFPUSHBUTTON;
constexpr UINT kWake = WM_APP + 1;

// ---- The run's questions

class WinQuestions : public App::RunQuestions {
  public:
    WinQuestions(bool attended, std::ostream& out) : m_attended(attended), m_out(out) {}

    void SetOwner(HWND owner) { m_owner = owner; }
    bool Attended() const { return m_attended; }

    Answer Show(const std::string& text, const std::string& caption, Icon icon, Buttons buttons,
                Answer defaultButton) override {
        if (!m_attended) {
            // Nobody to ask: the text is reported and the safe answer taken.
            m_out << caption << ": " << App::EscapeText(text) << "\n" << std::flush;
            return buttons == Buttons::Ok ? Answer::Ok : App::MessageBoxes::SafeAnswer(buttons);
        }
        UINT flags = MB_TASKMODAL | MB_SETFOREGROUND;
        switch (icon) {
            case Icon::Error:
                flags |= MB_ICONERROR;
                break;
            case Icon::Warning:
                flags |= MB_ICONWARNING;
                break;
            case Icon::Information:
                flags |= MB_ICONINFORMATION;
                break;
            case Icon::Question:
                flags |= MB_ICONQUESTION;
                break;
        }
        // The buttons in their order on the box, to find the default's position.
        std::vector<Answer> order;
        switch (buttons) {
            case Buttons::Ok:
                flags |= MB_OK;
                order = {Answer::Ok};
                break;
            case Buttons::OkCancel:
                flags |= MB_OKCANCEL;
                order = {Answer::Ok, Answer::Cancel};
                break;
            case Buttons::RetryCancel:
                flags |= MB_RETRYCANCEL;
                order = {Answer::Retry, Answer::Cancel};
                break;
            case Buttons::YesNo:
                flags |= MB_YESNO;
                order = {Answer::Yes, Answer::No};
                break;
            case Buttons::YesNoCancel:
                flags |= MB_YESNOCANCEL;
                order = {Answer::Yes, Answer::No, Answer::Cancel};
                break;
        }
        const UINT defaults[] = {MB_DEFBUTTON1, MB_DEFBUTTON2, MB_DEFBUTTON3};
        for (std::size_t i = 0; i < order.size(); ++i)
            if (order[i] == defaultButton)
                flags |= defaults[i];
        switch (MessageBoxW(m_owner, W(text).c_str(), W(caption).c_str(), flags)) {
            case IDOK:
                return Answer::Ok;
            case IDRETRY:
                return Answer::Retry;
            case IDYES:
                return Answer::Yes;
            case IDNO:
                return Answer::No;
            case IDCANCEL:
                return Answer::Cancel;
            default:
                return App::MessageBoxes::SafeAnswer(buttons);
        }
    }

    Replace ConfirmReplace(const std::string& text, const std::string& path40) override {
        if (!m_attended) {
            m_out << kReplaceCaption << ": " << App::EscapeText(text) << "\n"
                  << App::EscapeControls(path40) << "\n(Cancel)\n"
                  << std::flush;
            return Replace::Cancel;
        }
        DialogTemplate t(W(kReplaceCaption), 300, 86);
        t.Add(DialogTemplate::kStatic, Lines(text), kIdText, SS_LEFT, 10, 8, 280, 36);
        // The engine's names use '/'; Windows users read '\\'.
        std::wstring path = W(path40);
        std::replace(path.begin(), path.end(), L'/', L'\\');
        t.Add(DialogTemplate::kStatic, path, kIdPath, SS_LEFT | SS_NOPREFIX, 10, 46, 280, 10);
        const struct {
            const wchar_t* text;
            WORD id;
        } buttons[] = {{L"&Yes", IDYES},
                       {L"Yes to &All", kIdYesToAll},
                       {L"&No", IDNO},
                       {L"N&o to All", kIdNoToAll},
                       {L"Cancel", IDCANCEL}};
        short x = 10;
        for (const auto& b : buttons) {
            t.Add(DialogTemplate::kButton, b.text, b.id, b.id == IDYES ? kDefault : kPush, x, 64,
                  52, 14);
            x += 57;
        }
        const INT_PTR chosen =
            DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), m_owner, ReplaceProc, 0);
        switch (chosen) {
            case IDYES:
                return Replace::Yes;
            case kIdYesToAll:
                return Replace::YesToAll;
            case IDNO:
                return Replace::No;
            case kIdNoToAll:
                return Replace::NoToAll;
            default:
                return Replace::Cancel;
        }
    }

    std::optional<std::string> AskKeyFile(const std::string& administrator, bool create) override {
        if (!m_attended) {
            m_out << "The key file of " << App::EscapeControls(administrator)
                  << " is needed; nobody is here to choose it.\n"
                  << std::flush;
            return std::nullopt;
        }
        std::wstring file(32768, L'\0');
        const std::wstring title = W("Key file of " + administrator);
        OPENFILENAMEW ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = m_owner;
        ofn.lpstrFilter = L"Key files (*.key)\0*.key\0All files (*.*)\0*.*\0";
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = DWORD(file.size());
        ofn.lpstrTitle = title.c_str();
        ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR |
                    (create ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST);
        const BOOL chosen = create ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
        if (!chosen)
            return std::nullopt;
        file.resize(wcslen(file.c_str()));
        return OS::Utf8(file);
    }

    std::optional<App::Secret> AskAdministratorPassword(const std::string& stillNeeded) override {
        if (!m_attended) {
            m_out << kAdminPasswordCaption << ": " << kAdminPasswordTexts[1]
                  << " Nobody is here to enter it.\n"
                  << std::flush;
            return std::nullopt;
        }
        DialogTemplate t(W(kAdminPasswordCaption), 240, 110);
        t.Add(DialogTemplate::kStatic, W(kAdminPasswordTexts[0]), kIdText, SS_LEFT, 10, 8, 220, 20);
        t.Add(DialogTemplate::kStatic, W(kAdminPasswordTexts[1]), kIdText, SS_LEFT, 10, 32, 220,
              10);
        t.Add(DialogTemplate::kStatic, W(stillNeeded), kIdStillNeeded, SS_LEFT, 10, 44, 220, 10);
        t.Add(DialogTemplate::kStatic, W(kAdminPasswordTexts[2]), kIdText, SS_LEFT, 10, 62, 80, 10);
        t.Add(DialogTemplate::kEdit, L"", kIdPassword, kField | ES_PASSWORD, 92, 60, 138, 14);
        t.Add(DialogTemplate::kButton, L"OK", IDOK, kDefault | WS_DISABLED, 126, 88, 50, 14);
        t.Add(DialogTemplate::kButton, L"Cancel", IDCANCEL, kPush, 180, 88, 50, 14);
        AdminState state;
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), m_owner, AdminProc,
                                reinterpret_cast<LPARAM>(&state));
        return std::move(state.password);
    }

  private:
    struct AdminState {
        std::optional<App::Secret> password;
    };

    static INT_PTR CALLBACK ReplaceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
        if (message == WM_INITDIALOG) {
            MessageBeep(MB_ICONQUESTION);
            return TRUE;
        }
        if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    }

    static INT_PTR CALLBACK AdminProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        AdminState* state = StateOf<AdminState>(dialog, message, lParam);
        switch (message) {
            case WM_INITDIALOG:
                SetFocus(GetDlgItem(dialog, kIdPassword));
                return FALSE;
            case WM_COMMAND:
                if (LOWORD(wParam) == kIdPassword && HIWORD(wParam) == EN_CHANGE) {
                    const int length = GetWindowTextLengthW(GetDlgItem(dialog, kIdPassword));
                    EnableWindow(GetDlgItem(dialog, IDOK),
                                 std::size_t(length) >= kAdminPasswordMin);
                    return TRUE;
                }
                if (LOWORD(wParam) == IDOK) {
                    state->password = PasswordOf(GetDlgItem(dialog, kIdPassword));
                    SetDlgItemTextW(dialog, kIdPassword, L"");
                    EndDialog(dialog, IDOK);
                    return TRUE;
                }
                if (LOWORD(wParam) == IDCANCEL) {
                    SetDlgItemTextW(dialog, kIdPassword, L"");
                    EndDialog(dialog, IDCANCEL);
                    return TRUE;
                }
                break;
        }
        return FALSE;
    }

    bool m_attended;
    std::ostream& m_out;
    HWND m_owner = nullptr;
};

// ---- The folder chooser

std::optional<std::wstring> ChooseFolder(HWND owner, const std::wstring& start) {
    ComRef<IFileOpenDialog> dialog;
    if (SUCCEEDED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IFileOpenDialog, reinterpret_cast<void**>(&dialog.p)))) {
        FILEOPENDIALOGOPTIONS options = 0;
        dialog.p->GetOptions(&options);
        dialog.p->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
        dialog.p->SetTitle(W(kBrowseTitle).c_str());
        ComRef<IShellItem> folder;
        if (!start.empty() &&
            SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_IShellItem,
                                                  reinterpret_cast<void**>(&folder.p))))
            dialog.p->SetFolder(folder.p);
        if (FAILED(dialog.p->Show(owner)))
            return std::nullopt;
        ComRef<IShellItem> chosen;
        if (FAILED(dialog.p->GetResult(&chosen.p)))
            return std::nullopt;
        wchar_t* path = nullptr;
        if (FAILED(chosen.p->GetDisplayName(SIGDN_FILESYSPATH, &path)))
            return std::nullopt;
        std::wstring result(path);
        CoTaskMemFree(path);
        return result;
    }
    // Older systems: the shell's folder browser.
    const std::wstring title = W(kBrowseTitle);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
    if (!list)
        return std::nullopt;
    std::wstring path(MAX_PATH * 4, L'\0');
    const bool found = SHGetPathFromIDListEx(list, path.data(), DWORD(path.size()), 0);
    CoTaskMemFree(list);
    if (!found)
        return std::nullopt;
    path.resize(wcslen(path.c_str()));
    return path;
}

// ---- The windows

class Flow {
  public:
    Flow(const Options& options, const std::string& self, std::ostream& out)
        : m_options(options),
          m_out(out),
          m_dialogs(!(options.password && options.folder && options.quiet), out),
          m_x(m_dialogs, self) {}

    ExitStatus Run() {
        if (!m_x.Open()) {
            m_out << "cryvan-sfx: " << App::EscapeControls(m_x.Reason()) << "\n";
            return ExitStatus::Failed;
        }
        if (const ExitStatus status = AskOrTake(); status != ExitStatus::Success)
            return status;
        if (m_dialogs.Attended())
            ShowProgress();
        else
            RunUnattended();
        const SelfExtractor::Outcome outcome = m_x.Result();
        if (!m_options.quiet)
            m_dialogs.Show(
                SelfExtractor::OutcomeText(outcome), kCaption,
                outcome == SelfExtractor::Outcome::Complete ? Icon::Information : Icon::Warning,
                Buttons::Ok, Answer::Ok);
        else
            m_out << SelfExtractor::OutcomeText(outcome) << "\n";
        m_x.Conclude(m_out, m_options.deleteSelf, m_options.force);
        m_out << std::flush;
        return App::StatusOfRun(m_x.Runner());
    }

  private:
    // The password and the folder: from the options, else from the window.
    ExitStatus AskOrTake() {
        bool unlocked = false;
        if (m_options.password) {
            const FCryptEng::UnlockResult result = m_x.TryPassword(*m_options.password);
            if (result == FCryptEng::UnlockResult::Unlocked)
                unlocked = true;
            else if (result != FCryptEng::UnlockResult::Wrong || !m_dialogs.Attended()) {
                if (result == FCryptEng::UnlockResult::Wrong)
                    m_out << "cryvan-sfx: " << kWrongText << "\n";
                return SelfExtractor::StatusOf(result);
            }
        }
        if (unlocked && m_options.folder) {
            m_folder = *m_options.folder;
            // Named on the command line: made without a question, as on the other systems.
            return m_x.AcceptFolder(m_folder, false) ? ExitStatus::Success : ExitStatus::Failed;
        }
        m_unlocked = unlocked;
        m_folder = m_options.folder ? *m_options.folder : m_x.DefaultFolder();
        return AskWindow();
    }

    ExitStatus AskWindow() {
        DialogTemplate t(W(kCaption), 270, 132);
        t.Add(DialogTemplate::kStatic,
              L"This is a self-extracting encrypted file created using the", kIdText, SS_LEFT, 10,
              8, 250, 10);
        t.Add(DialogTemplate::kStatic, L"Cryvan File Encryption Wizard.", kIdText, SS_LEFT, 10, 18,
              250, 10);
        t.Add(DialogTemplate::kStatic, W(kPasswordText), kIdText, SS_LEFT, 10, 38, 250, 10);
        t.Add(DialogTemplate::kEdit, L"", kIdPassword,
              kField | ES_PASSWORD | (m_unlocked ? WS_DISABLED : 0), 10, 50, 250, 14);
        t.Add(DialogTemplate::kStatic, W(kFolderText), kIdText, SS_LEFT, 10, 72, 250, 10);
        t.Add(DialogTemplate::kEdit, L"", kIdFolder, kField, 10, 84, 192, 14);
        t.Add(DialogTemplate::kButton, L"&Browse...", kIdBrowse, kPush, 208, 84, 52, 14);
        t.Add(DialogTemplate::kButton, L"OK", IDOK, kDefault, 154, 110, 50, 14);
        t.Add(DialogTemplate::kButton, L"Cancel", IDCANCEL, kPush, 210, 110, 50, 14);
        const INT_PTR result = DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), nullptr,
                                                       AskProc, reinterpret_cast<LPARAM>(this));
        m_dialogs.SetOwner(nullptr);
        if (result == IDOK)
            return ExitStatus::Success;
        return m_failed ? ExitStatus::Failed : ExitStatus::Cancelled;
    }

    // OK: the password (unless taken already), then the folder, each shown about when refused.
    bool Accept(HWND dialog) {
        if (!m_unlocked) {
            App::Secret password = PasswordOf(GetDlgItem(dialog, kIdPassword));
            const FCryptEng::UnlockResult result = m_x.TryPassword(password);
            password.Clear();
            if (result == FCryptEng::UnlockResult::Wrong) {
                SetDlgItemTextW(dialog, kIdPassword, L"");
                SetFocus(GetDlgItem(dialog, kIdPassword));
                return false;
            }
            if (result != FCryptEng::UnlockResult::Unlocked) {
                m_failed = result != FCryptEng::UnlockResult::Cancelled;
                EndDialog(dialog, IDCANCEL);
                return false;
            }
            m_unlocked = true;
            SetDlgItemTextW(dialog, kIdPassword, L"");
            EnableWindow(GetDlgItem(dialog, kIdPassword), FALSE);
        }
        std::string folder = OS::Utf8(WindowText(GetDlgItem(dialog, kIdFolder)));
        for (char& c : folder)
            if (c == '\\')
                c = '/';
        if (folder.empty())
            folder = m_x.DefaultFolder();
        if (!m_x.AcceptFolder(folder, true)) {
            SetFocus(GetDlgItem(dialog, kIdFolder));
            return false;
        }
        m_folder = folder;
        return true;
    }

    static INT_PTR CALLBACK AskProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        Flow* flow = StateOf<Flow>(dialog, message, lParam);
        switch (message) {
            case WM_INITDIALOG: {
                flow->m_dialogs.SetOwner(dialog);
                std::wstring folder = W(flow->m_folder);
                for (wchar_t& c : folder)
                    if (c == L'/')
                        c = L'\\';
                SetDlgItemTextW(dialog, kIdFolder, folder.c_str());
                SetFocus(GetDlgItem(dialog, flow->m_unlocked ? kIdFolder : kIdPassword));
                SetForegroundWindow(dialog);
                return FALSE;
            }
            case WM_COMMAND:
                switch (LOWORD(wParam)) {
                    case kIdBrowse:
                        if (const auto chosen =
                                ChooseFolder(dialog, WindowText(GetDlgItem(dialog, kIdFolder))))
                            SetDlgItemTextW(dialog, kIdFolder, chosen->c_str());
                        return TRUE;
                    case IDOK:
                        if (flow->Accept(dialog))
                            EndDialog(dialog, IDOK);
                        return TRUE;
                    case IDCANCEL:
                        SetDlgItemTextW(dialog, kIdPassword, L"");
                        EndDialog(dialog, IDCANCEL);
                        return TRUE;
                }
                break;
        }
        return FALSE;
    }

    void ShowProgress() {
        DialogTemplate t(W(kProgressTitle), 270, 84);
        t.Add(DialogTemplate::kStatic, W(kProgressText), kIdText, SS_LEFT, 10, 8, 250, 10);
        t.Add(PROGRESS_CLASSW, L"", kIdBar, 0, 10, 22, 250, 12);
        t.Add(DialogTemplate::kStatic, L"", kIdProgressText, SS_LEFT | SS_NOPREFIX, 10, 40, 250,
              10);
        t.Add(DialogTemplate::kButton, W(kBackgroundText), kIdBackground,
              WS_TABSTOP | BS_AUTOCHECKBOX, 10, 62, 150, 12);
        t.Add(DialogTemplate::kButton, L"Cancel", IDCANCEL, kDefault, 210, 62, 50, 14);
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), t.Get(), nullptr, ProgressProc,
                                reinterpret_cast<LPARAM>(this));
        m_dialogs.SetOwner(nullptr);
        m_x.Stop();
    }

    void Refresh(HWND dialog) {
        const App::Snapshot s = m_x.Runner().Snapshot();
        SendDlgItemMessageW(dialog, kIdBar, PBM_SETPOS, WPARAM(s.overallPercent), 0);
        const std::wstring text = W(App::OverallText(s, false));
        if (text != m_shownText) {
            SetDlgItemTextW(dialog, kIdProgressText, text.c_str());
            m_shownText = text;
        }
    }

    static INT_PTR CALLBACK ProgressProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
        Flow* flow = StateOf<Flow>(dialog, message, lParam);
        switch (message) {
            case WM_INITDIALOG: {
                flow->m_dialogs.SetOwner(dialog);
                SendDlgItemMessageW(dialog, kIdBar, PBM_SETRANGE32, 0, 100);
                // The worker's questions come to this window's thread, woken by a message.
                flow->m_x.Runner().Handover().Attach(
                    [dialog] { PostMessageW(dialog, kWake, 0, 0); });
                flow->m_x.Start(flow->m_folder);
                SetTimer(dialog, 1, 100, nullptr);
                SetForegroundWindow(dialog);
                return TRUE;
            }
            case WM_TIMER:
            case kWake:
                // Not from inside the stop question's own message loop.
                if (flow->m_asking)
                    return TRUE;
                flow->m_x.Runner().Handover().RunPending();
                flow->Refresh(dialog);
                if (!flow->m_x.Runner().IsRunning()) {
                    KillTimer(dialog, 1);
                    flow->m_x.Runner().Handover().Detach();
                    EndDialog(dialog, IDOK);
                }
                return TRUE;
            case WM_COMMAND:
                if (LOWORD(wParam) == kIdBackground) {
                    flow->m_x.Runner().SetBackground(IsDlgButtonChecked(dialog, kIdBackground) ==
                                                     BST_CHECKED);
                    return TRUE;
                }
                if (LOWORD(wParam) == IDCANCEL) {
                    // The run waits while the question is open; the timer ends the window.
                    flow->m_asking = true;
                    flow->m_x.ConfirmStop();
                    flow->m_asking = false;
                    return TRUE;
                }
                break;
        }
        return FALSE;
    }

    void RunUnattended() {
        m_x.Start(m_folder);
        while (m_x.Runner().IsRunning()) {
            if (g_stop.exchange(false))
                m_x.Runner().RequestCancel();
            m_x.Runner().Snapshot();
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        m_x.Stop();
    }

  public:
    // Ctrl+C or a closing console: the run is cancelled.
    static std::atomic<bool> g_stop;

  private:
    const Options& m_options;
    std::ostream& m_out;
    WinQuestions m_dialogs;
    SelfExtractor m_x;
    std::string m_folder;
    bool m_unlocked = false;
    bool m_failed = false;
    bool m_asking = false;
    std::wstring m_shownText;
};

std::atomic<bool> Flow::g_stop{false};

BOOL WINAPI OnConsoleControl(DWORD) {
    Flow::g_stop.store(true);
    return TRUE;
}

}  // namespace

ExitStatus Run(const App::Arguments& args, const std::string& self, std::ostream& out,
               bool console) {
    Options options;
    try {
        options = ParseArguments(args);
    } catch (const UsageError& e) {
        const std::string text = std::string("cryvan-sfx: ") + e.what() + "\n\n" + HelpText();
        if (console)
            out << text << std::flush;
        else
            MessageBoxW(nullptr, W(text).c_str(), W(kCaption).c_str(), MB_OK | MB_ICONERROR);
        return ExitStatus::InvalidCommandLine;
    }
    if (options.help) {
        if (console)
            out << HelpText() << std::flush;
        else
            MessageBoxW(nullptr, W(HelpText()).c_str(), W(kCaption).c_str(),
                        MB_OK | MB_ICONINFORMATION);
        return ExitStatus::Success;
    }
    if (options.verbose)
        OS::Logger::Register(OS::LOG_FATAL | OS::LOG_ERROR | OS::LOG_WARN | OS::LOG_INFO |
                                 OS::LOG_DEBUG | OS::LOG_TRACE,
                             &out);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // The folder chooser is a COM object of the shell.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    ExitStatus status = ExitStatus::Unexpected;
    {
        Flow flow(options, self, out);
        status = flow.Run();
    }
    if (SUCCEEDED(com))
        CoUninitialize();
    if (options.verbose)
        OS::Logger::Register(0, &out);
    return status;
}

}  // namespace Sfx::Win
