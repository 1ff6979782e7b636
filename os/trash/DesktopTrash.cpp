#include "os/trash/DesktopTrash.h"

#include <gio/gio.h>

namespace OS {

namespace {

class DesktopTrash : public Trash {
  public:
    bool Move(const std::string& path, std::string& why) override {
        GFile* file = g_file_new_for_path(path.c_str());
        GError* error = nullptr;
        const bool moved = g_file_trash(file, nullptr, &error);
        if (!moved)
            why = error ? error->message : "no reason given";
        g_clear_error(&error);
        g_object_unref(file);
        return moved;
    }
};

}  // namespace

std::unique_ptr<Trash> MakeDesktopTrash() {
    return std::make_unique<DesktopTrash>();
}

}  // namespace OS
