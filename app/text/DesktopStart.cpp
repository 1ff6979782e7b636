#include "app/text/DesktopStart.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "app/core/Options.h"

namespace Text {

namespace {

// --text, or a command that only prints (--info, --list, --test), among the front end's own
// options, which come before the wizard's words.
bool TextAsked(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--info")
            return true;
        const App::OptionRow* row = App::FindOption(arguments[i], App::kFrontEnd);
        if (!row)
            return false;
        if (row->option == App::Option::Text || row->option == App::Option::List ||
            row->option == App::Option::Test)
            return true;
        if (row->value == App::OptionValue::Required)
            ++i;
    }
    return false;
}

struct Library {
    void* handle;
    explicit Library(const char* name) : handle(dlopen(name, RTLD_NOW | RTLD_LOCAL)) {}
    ~Library() {
        if (handle)
            dlclose(handle);
    }
    template <class F>
    F* Symbol(const char* name) const {
        return handle ? reinterpret_cast<F*>(dlsym(handle, name)) : nullptr;
    }
};

bool WaylandConnects() {
    const Library lib("libwayland-client.so.0");
    using Connect = void*(const char*);
    using Disconnect = void(void*);
    auto* connect = lib.Symbol<Connect>("wl_display_connect");
    auto* disconnect = lib.Symbol<Disconnect>("wl_display_disconnect");
    if (!connect || !disconnect)
        return false;
    void* display = connect(nullptr);
    if (!display)
        return false;
    disconnect(display);
    return true;
}

bool X11Connects() {
    const Library lib("libxcb.so.1");
    using Connect = void*(const char*, int*);
    using HasError = int(void*);
    using Disconnect = void(void*);
    auto* connect = lib.Symbol<Connect>("xcb_connect");
    auto* hasError = lib.Symbol<HasError>("xcb_connection_has_error");
    auto* disconnect = lib.Symbol<Disconnect>("xcb_disconnect");
    if (!connect || !hasError || !disconnect)
        return false;
    // The handshake includes the authorisation: a display that refuses us fails here.
    void* connection = connect(nullptr, nullptr);
    const bool ok = connection && hasError(connection) == 0;
    if (connection)
        disconnect(connection);
    return ok;
}

}  // namespace

std::string ChooseDesktop(const StartFacts& facts,
                          const std::function<bool(DisplayKind)>& connects) {
    if (facts.desktopProgram.empty() || TextAsked(facts.arguments))
        return std::string();
    const bool wayland = facts.waylandDisplay && *facts.waylandDisplay;
    const bool x11 = facts.display && *facts.display;
    if ((wayland && connects(DisplayKind::Wayland)) || (x11 && connects(DisplayKind::X11)))
        return facts.desktopProgram;
    return std::string();
}

bool DisplayConnects(DisplayKind kind) {
    return kind == DisplayKind::Wayland ? WaylandConnects() : X11Connects();
}

std::string DesktopProgramBesideThis() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return std::string();
    const std::filesystem::path desktop = self.parent_path() / "cryvan-desktop";
    return access(desktop.c_str(), X_OK) == 0 ? desktop.string() : std::string();
}

void RunDesktop(const std::string& program, int argc, char** argv) {
    std::vector<char*> args;
    args.push_back(const_cast<char*>(program.c_str()));
    for (int i = 1; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    execv(program.c_str(), args.data());
}

}  // namespace Text
