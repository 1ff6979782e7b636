#include "app/session/MenuEntry.h"

#include <filesystem>
#include <set>
#include <stdexcept>
#include <system_error>

#include "app/config/Settings.h"
#include "app/core/Texts.h"

namespace App {

using FCryptEng::InputDeletionMode;

namespace {

// Both lists of the preferences that offer all five choices, by index.
InputDeletionMode ListMode(std::uint32_t index) {
    switch (index) {
        case 1:
            return InputDeletionMode::Recycle;
        case 2:
            return InputDeletionMode::Delete;
        case 3:
            return InputDeletionMode::Overwrite;
        case 4:
            return InputDeletionMode::Eradicate;
        default:
            return InputDeletionMode::Keep;
    }
}

}  // namespace

std::optional<MenuVerb> MenuVerbNamed(std::string_view word) {
    if (word == "encrypt")
        return MenuVerb::Encrypt;
    if (word == "decrypt")
        return MenuVerb::Decrypt;
    if (word == "shred")
        return MenuVerb::Shred;
    if (word == "open")
        return MenuVerb::Open;
    return std::nullopt;
}

MenuSettings MenuSettings::Read() {
    MenuSettings s;
    s.encryptDeletion = Settings::Get(Settings::kEncryptDeletionOption);
    s.confirmEncrypt = Settings::Get(Settings::kConfirmEncryptDeletion) != 0;
    s.decryptDeletion = Settings::Get(Settings::kDecryptDeletionOption);
    s.confirmDecrypt = Settings::Get(Settings::kConfirmDecryptDeletion) != 0;
    s.menuDeletion = Settings::Get(Settings::kMenuDeletionOption);
    s.confirmMenu = Settings::Get(Settings::kConfirmMenuDeletion) != 0;
    return s;
}

std::string ApplyMenuRequest(MenuVerb verb, const std::vector<std::string>& files,
                             const MenuSettings& settings, PagesValues& values) {
    std::vector<std::string> full;
    for (const std::string& file : files) {
        if (file.empty())
            return "--menu was given an empty file name";
        full.push_back(FullPath(file));
    }
    switch (verb) {
        case MenuVerb::Encrypt: {
            values.SetEncrypt();
            if (full.empty())
                return std::string();
            for (std::string& f : full)
                values.EncAddInput(std::move(f));
            values.EncDeletion(ListMode(settings.encryptDeletion));
            if (!settings.confirmEncrypt)
                values.EncNoConfirm();
            values.encProposeBeside = true;
            return std::string();
        }
        case MenuVerb::Open:
            if (full.empty())
                return std::string();
            [[fallthrough]];
        case MenuVerb::Decrypt:
            values.SetDecrypt();
            if (full.empty())
                return std::string();
            if (full.size() > 1)
                return Format("--menu %s takes one container at a time, not %zu files",
                              verb == MenuVerb::Open ? "open" : "decrypt", full.size());
            values.DecContainer(full.front());
            values.DecDeletion(ListMode(settings.decryptDeletion));
            if (!settings.confirmDecrypt)
                values.DecNoConfirm();
            return std::string();
        case MenuVerb::Shred:
            if (settings.menuDeletion != 1 && settings.menuDeletion != 2)
                return kShredOffText;
            if (full.empty())
                return "--menu shred needs the files to shred";
            values.pendingInputs = std::move(full);
            values.shredMode = settings.menuDeletion == 2 ? InputDeletionMode::Eradicate
                                                          : InputDeletionMode::Overwrite;
            values.shredConfirm = settings.confirmMenu;
            return std::string();
    }
    return std::string();
}

std::vector<std::string> ShredList(const std::vector<std::string>& given) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    std::set<std::string> seen;
    const auto add = [&](const std::string& name) {
        if (seen.insert(name).second)
            out.push_back(name);
    };
    for (std::string name : given) {
        while (name.size() > 1 && name.back() == '/')
            name.pop_back();
        std::error_code ec;
        const fs::file_status status = fs::symlink_status(name, ec);
        if (ec || status.type() == fs::file_type::not_found)
            throw std::runtime_error(name + ": not found");
        add(name);
        if (status.type() != fs::file_type::directory)
            continue;
        // The iterator does not enter linked folders; it lists the links themselves.
        fs::recursive_directory_iterator it(name, ec), end;
        if (ec)
            throw std::runtime_error(name + ": cannot be listed: " + ec.message());
        for (; it != end; it.increment(ec)) {
            if (ec)
                throw std::runtime_error(name + ": cannot be listed: " + ec.message());
            add(it->path().string());
        }
        if (ec)
            throw std::runtime_error(name + ": cannot be listed: " + ec.message());
    }
    return out;
}

std::string ShredQuestion(InputDeletionMode mode) {
    return Format("Are you sure you want to %s the chosen file(s)?",
                  mode == InputDeletionMode::Eradicate ? "eradicate" : "overwrite");
}

std::string ShredCountQuestion(InputDeletionMode mode, std::size_t files) {
    const bool eradicate = mode == InputDeletionMode::Eradicate;
    const char* what = eradicate ? "contents and names" : "contents";
    if (files == 1)
        return Format("%s 1 file? Its %s cannot be recovered afterwards.",
                      eradicate ? "Eradicate" : "Overwrite", what);
    return Format("%s %zu files? Their %s cannot be recovered afterwards.",
                  eradicate ? "Eradicate" : "Overwrite", files, what);
}

}  // namespace App
