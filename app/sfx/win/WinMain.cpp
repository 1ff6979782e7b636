// The decrypt-only program for Windows: a window program (no console of its own) that still
// writes to the console it was started from, or to where its output was redirected. Exit
// statuses in App::kExitStatuses.
#include <windows.h>

#include <exception>
#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

#include "app/core/Arguments.h"
#include "app/core/ExitStatus.h"
#include "app/core/Secrets.h"
#include "app/core/Texts.h"
#include "app/sfx/SelfExtractor.h"
#include "app/sfx/win/WinFrontEnd.h"
#include "os/Logger.h"
#include "os/windows/Wide.h"

namespace {

// Lines to a console (as UTF-16, which it shows whatever its code page) or to a redirected
// handle (as the UTF-8 bytes); nowhere when there is neither.
class HandleBuffer : public std::streambuf {
  public:
    explicit HandleBuffer(HANDLE handle) : m_handle(handle) {
        DWORD mode = 0;
        m_console = handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
    }
    ~HandleBuffer() override { Flush(); }
    HandleBuffer(const HandleBuffer&) = delete;
    HandleBuffer& operator=(const HandleBuffer&) = delete;

    bool Usable() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    bool Console() const { return m_console; }

  protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            m_pending.push_back(static_cast<char>(c));
            if (c == '\n')
                Flush();
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        Flush();
        return 0;
    }

  private:
    void Flush() {
        if (m_pending.empty() || !Usable()) {
            m_pending.clear();
            return;
        }
        DWORD written = 0;
        if (m_console) {
            std::wstring wide;
            try {
                wide = OS::Wide(m_pending);
            } catch (const std::exception&) {
                wide = OS::Wide(App::EscapeControls(m_pending));
            }
            for (std::size_t i = 0; i < wide.size(); ++i)
                if (wide[i] == L'\n' && (i == 0 || wide[i - 1] != L'\r'))
                    wide.insert(i++, 1, L'\r');
            WriteConsoleW(m_handle, wide.data(), DWORD(wide.size()), &written, nullptr);
        } else {
            WriteFile(m_handle, m_pending.data(), DWORD(m_pending.size()), &written, nullptr);
        }
        m_pending.clear();
    }

    HANDLE m_handle;
    bool m_console = false;
    std::string m_pending;
};

// The standard output inherited (a redirection), else the console of the parent, if any.
HANDLE OutputHandle() {
    HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
    if (handle && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN)
        return handle;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return nullptr;
    handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HandleBuffer buffer(OutputHandle());
    std::ostream out(&buffer);

    // The arguments as UTF-8, in memory of this program's own so that -p can be wiped there.
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.push_back(OS::Utf8(argv[i]));
    App::ExitStatus status = App::ExitStatus::Unexpected;
    try {
        const App::Arguments args(words);
        for (std::string& w : words)
            App::WipeString(w);
        // The command line itself keeps the password too: overwrite it there.
        for (int i = 1; i < argc; ++i)
            if (std::wstring(argv[i]) == L"-p" && i + 1 < argc)
                SecureZeroMemory(argv[i + 1], wcslen(argv[i + 1]) * sizeof(wchar_t));
        OS::Logger::Setup(false, false, false);
        const std::optional<std::string> self = Sfx::SelfPath(nullptr);
        if (!self) {
            out << "cryvan-sfx: cannot find this program's own file.\n";
            status = App::ExitStatus::Failed;
        } else {
            status = Sfx::Win::Run(args, *self, out, buffer.Usable());
        }
    } catch (const std::exception& e) {
        out << "cryvan-sfx: unexpected error: " << App::EscapeControls(e.what()) << "\n";
        if (!buffer.Usable())
            MessageBoxA(nullptr, e.what(), "Cryvan", MB_OK | MB_ICONERROR);
        status = App::ExitStatus::Unexpected;
    } catch (...) {
        out << "cryvan-sfx: unexpected error\n";
        status = App::ExitStatus::Unexpected;
    }
    OS::Logger::Teardown();
    out << std::flush;
    return App::Code(status);
}
