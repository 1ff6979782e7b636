#include "app/text/TerminalPreferences.h"
#include "app/console/ConsoleText.h"
#include "app/core/Options.h"
#include "app/core/PasswordStrength.h"
#include "app/core/Secrets.h"
#include "app/core/Texts.h"

#include <sstream>

#include <cryptopp/misc.h>

namespace Text {

using App::Bar;
using App::Lower;
using App::SigintScope;
using App::Trim;

namespace {

const char* Box(bool ticked) {
    return ticked ? "[x]" : "[ ]";
}

std::string ItemName(const std::vector<std::string>& items, std::uint32_t index) {
    return index < items.size() ? items[index] : "(" + std::to_string(index) + ")";
}

struct Tab {
    int id;
    const char* key;
};
const Tab kTabs[] = {{App::kPopUpPg, "1"}, {App::kEmergencyPasswordPg, "2"}, {App::kAdminPg, "3"}};

}  // namespace

TerminalPreferences::Result TerminalPreferences::Run(App::CryvanPrefs& prefs) {
    for (;;) {
        App::Page* page = prefs.ActivePage();
        m_out << "\n== " << App::kPrefsCaption << " ==\n";
        std::vector<std::string> keys;
        for (const Tab& tab : kTabs) {
            const App::Page* p = prefs.PageById(tab.id);
            if (!p)
                continue;
            m_out << (p == page ? " *[" : "  [") << tab.key << "] " << p->Title();
            keys.push_back(tab.key);
        }
        m_out << "\n\n";
        if (auto* popUp = dynamic_cast<App::PopUpPg*>(page))
            RenderPopUp(*popUp, keys);
        else if (auto* emergency = dynamic_cast<App::EmergencyPasswordPg*>(page))
            RenderEmergency(*emergency, keys);
        else if (auto* admin = dynamic_cast<App::AdminPg*>(page))
            RenderAdmin(*admin, keys);
        m_out << "  [o] OK   [c] Cancel\n";
        keys.push_back("o");
        keys.push_back("c");

        const auto key = m_in.Ended() ? std::nullopt : m_dialogs.Choose("> ", keys);
        if (!key) {
            prefs.PressCancel();
            return Result::NoInput;
        }
        if (*key == "o") {
            if (prefs.PressOk())
                return Result::Ok;
            continue;  // a page refused and is in front now
        }
        if (*key == "c") {
            prefs.PressCancel();
            return Result::Cancelled;
        }
        bool handled = false;
        for (const Tab& tab : kTabs)
            if (*key == tab.key) {
                prefs.SetActivePage(tab.id);
                handled = true;
            }
        if (handled)
            continue;
        if (auto* popUp = dynamic_cast<App::PopUpPg*>(page))
            ActPopUp(*popUp, *key);
        else if (auto* emergency = dynamic_cast<App::EmergencyPasswordPg*>(page))
            ActEmergency(*emergency, *key);
        else if (auto* admin = dynamic_cast<App::AdminPg*>(page))
            ActAdmin(*admin, *key);
    }
}

bool TerminalPreferences::ChooseItem(const std::vector<std::string>& items, std::uint32_t& value) {
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < items.size(); ++i) {
        m_out << "    " << i << " " << items[i] << "\n";
        keys.push_back(std::to_string(i));
    }
    const auto chosen = m_dialogs.Choose("  Option > ", keys);
    if (!chosen)
        return false;
    value = std::uint32_t(std::stoul(*chosen));
    return true;
}

// ---- Pop-up menu

void TerminalPreferences::RenderPopUp(App::PopUpPg& page, std::vector<std::string>& keys) {
    const auto texts = page.Texts();
    const auto& deletion = App::PopUpPg::DeletionItems();
    const auto& menu = App::PopUpPg::MenuItems();
    m_out << texts[0] << "\n"
          << texts[1] << "\n"
          << "  [e] " << texts[2] << " " << ItemName(deletion, page.encryptDeletion) << "\n"
          << "  [f]     " << Box(page.confirmEncrypt != 0) << " " << texts[5] << "\n"
          << "  [d] " << texts[3] << " " << ItemName(deletion, page.decryptDeletion) << "\n"
          << "  [g]     " << Box(page.confirmDecrypt != 0) << " " << texts[5] << "\n"
          << "  [m] " << texts[4] << " " << ItemName(menu, page.menuDeletion) << "\n"
          << "  [n]     " << Box(page.confirmMenu != 0) << " " << texts[5] << "\n"
          << "  [x] " << texts[6] << " "
          << ItemName(App::PopUpPg::PlatformItems(), page.standAlonePlatform) << "\n";
    keys.insert(keys.end(), {"e", "f", "d", "g", "m", "n", "x"});
}

bool TerminalPreferences::ActPopUp(App::PopUpPg& page, const std::string& key) {
    if (key == "e")
        return ChooseItem(App::PopUpPg::DeletionItems(), page.encryptDeletion);
    if (key == "d")
        return ChooseItem(App::PopUpPg::DeletionItems(), page.decryptDeletion);
    if (key == "m")
        return ChooseItem(App::PopUpPg::MenuItems(), page.menuDeletion);
    if (key == "x")
        return ChooseItem(App::PopUpPg::PlatformItems(), page.standAlonePlatform);
    std::uint32_t* box = key == "f"   ? &page.confirmEncrypt
                         : key == "g" ? &page.confirmDecrypt
                         : key == "n" ? &page.confirmMenu
                                      : nullptr;
    if (!box)
        return false;
    *box = *box ? 0 : 1;
    return true;
}

// ---- Emergency password

void TerminalPreferences::RenderEmergency(App::EmergencyPasswordPg& page,
                                          std::vector<std::string>& keys) {
    const auto texts = page.Texts();
    // Written straight from the field: a shown password is not copied into a string.
    auto field = [&](const App::Secret& value) {
        if (page.placeholderShown)
            m_out << "(your existing emergency password)";
        else if (value.empty())
            m_out << "(empty)";
        else if (page.plainView)
            m_out << value.View();
        else
            m_out << std::string(value.size(), '*');
    };
    m_out << texts[0] << "\n" << texts[1] << "\n  " << texts[2] << " ";
    field(page.Password());
    m_out << "\n  " << texts[3] << " ";
    field(page.Confirmation());
    m_out << "\n";
    if (page.enabled) {
        m_out << "  [s] Type a new emergency password\n"
              << "  [x] Clear both fields (OK then deletes an existing emergency password)\n"
              << "  " << texts[4] << " [g] " << texts[5] << "\n"
              << texts[6] << "\n"
              << "  [t] " << Box(page.defaultTicked) << " " << texts[7] << "\n";
        keys.insert(keys.end(), {"s", "x", "g", "t"});
    } else {
        m_out << "  " << Box(page.defaultTicked) << " " << texts[7] << " (unavailable)\n";
    }
}

bool TerminalPreferences::ActEmergency(App::EmergencyPasswordPg& page, const std::string& key) {
    if (key == "s") {
        auto password = m_in.Secret("Emergency password: ");
        if (!password)
            return false;
        for (const std::string& line : App::StrengthLines(*password))
            m_out << App::HangingIndent("  ", line, 2);
        auto confirmation = m_in.Secret("Confirm password: ");
        if (!confirmation)
            return false;
        // Typing over a selected placeholder starts from an empty field.
        if (page.placeholderShown)
            page.SetPassword("");
        page.SetPassword(password->View());
        page.SetConfirmation(confirmation->View());
        return true;
    }
    if (key == "x") {
        page.SetPassword("");
        page.SetPassword("");
        page.SetConfirmation("");
        return true;
    }
    if (key == "g") {
        page.GeneratePassword();
        m_out << "Generated password (shown once, write it down): " << page.Password().View()
              << "\n";
        return true;
    }
    if (key == "t") {
        page.SetDefault(!page.defaultTicked);
        return true;
    }
    return false;
}

// ---- Administrators

void TerminalPreferences::RenderAdmin(App::AdminPg& page, std::vector<std::string>& keys) {
    const auto texts = page.Texts();
    m_out << texts[0] << "\n" << texts[1] << "\n  " << texts[2] << ":\n";
    if (page.names.empty())
        m_out << "    (none)\n";
    for (std::size_t i = 0; i < page.names.size(); ++i)
        m_out << "    " << (i + 1) << ". " << App::EscapeControls(page.names[i]) << "\n";
    m_out << "  [a] " << texts[3] << "\n";
    keys.push_back("a");
    if (!page.names.empty()) {
        m_out << "  [r] " << texts[4] << "\n";
        keys.push_back("r");
    }
    if (page.requireEnabled) {
        m_out << "  " << (page.kEnabled ? "[k] " : "    ") << texts[5] << " " << page.k << " "
              << texts[6] << "\n";
        if (page.kEnabled)
            keys.push_back("k");
    }
    m_out << texts[7] << "\n  [p] " << Box(page.permit) << " " << texts[8] << "\n";
    keys.push_back("p");
}

bool TerminalPreferences::ActAdmin(App::AdminPg& page, const std::string& key) {
    if (key == "a") {
        page.Add();
        return true;
    }
    if (key == "p") {
        page.SetPermit(!page.permit);
        return true;
    }
    if (key == "k") {
        std::vector<std::string> keys;
        for (int v = page.spinMin; v <= page.spinMax; ++v)
            keys.push_back(std::to_string(v));
        const auto chosen = m_dialogs.Choose(
            "Administrators required (" + keys.front() + "-" + keys.back() + ") > ", keys);
        if (!chosen)
            return false;
        page.SetK(std::stoi(*chosen));
        return true;
    }
    if (key == "r") {
        const auto line = m_in.Line("Rows to remove (numbers, e.g. 1 3): ");
        if (!line)
            return false;
        for (std::size_t row = 0; row < page.selected.size(); ++row)
            page.Select(row, false);
        std::istringstream numbers(*line);
        std::size_t number = 0;
        while (numbers >> number)
            if (number >= 1 && number <= page.names.size())
                page.Select(number - 1, true);
        if (page.removeEnabled)
            page.Remove();
        return true;
    }
    return false;
}

}  // namespace Text
