// The file manager's entries: `cryvan --menu VERB FILE...` reads the six pop-up menu settings and
// puts the request into the wizard's pages, as a command line would, without parsing the names
// of the files (a file manager hands over any name, "-e" and "/c" included).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/wizard/CommandLine.h"
#include "engine/OperationStatus.h"

namespace App {

enum class MenuVerb {
    Encrypt,  // the files into a new container beside them
    Decrypt,  // one container
    Shred,    // overwrite or eradicate the files, without a container
    Open,     // a double-click: decrypt the container given, else the wizard from its start
};

// The words as typed after --menu.
inline constexpr const char* kMenuVerbWords = "encrypt|decrypt|shred|open";
std::optional<MenuVerb> MenuVerbNamed(std::string_view word);

// The pop-up menu's settings as stored (indexes of the preferences' lists).
struct MenuSettings {
    std::uint32_t encryptDeletion = 2;  // 0 none, 1 Recycle, 2 Delete, 3 Overwrite, 4 Eradicate
    bool confirmEncrypt = true;
    std::uint32_t decryptDeletion = 1;  // the same list
    bool confirmDecrypt = true;
    std::uint32_t menuDeletion = 1;  // 0 none, 1 Overwrite, 2 Eradicate
    bool confirmMenu = true;

    // The user's settings; an absent or unusable value reads as its default.
    static MenuSettings Read();
};

// Why shredding is not offered: the preference names the setting to change.
inline constexpr const char* kShredOffText =
    "Shredding from the file manager is switched off. To use it, choose Overwrite or Eradicate "
    "as the \"Preferred deletion option on Pop-Up Menu\" in Cryvan's preferences.";

// Fills `values` for the request. Files are taken as given (relative ones in the current
// folder). Returns why the request cannot be carried out, or an empty text.
std::string ApplyMenuRequest(MenuVerb verb, const std::vector<std::string>& files,
                             const MenuSettings& settings, PagesValues& values);

// What shredding `given` destroys, for the runner: each name once, a folder before what it
// holds, links as themselves (never followed). Raises std::runtime_error naming what cannot be
// examined.
std::vector<std::string> ShredList(const std::vector<std::string>& given);

// The confirmation of shredding, asked first.
std::string ShredQuestion(FCryptEng::InputDeletionMode mode);
// The question that names what shredding will destroy, asked after the confirmation.
std::string ShredCountQuestion(FCryptEng::InputDeletionMode mode, std::size_t files);

}  // namespace App
