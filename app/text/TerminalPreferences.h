// The preferences sheet on a terminal: the page tabs, each page's fields with the keys that
// change them, OK and Cancel. Questions and messages go through the terminal dialogs.
#pragma once

#include "app/prefs/PreferencesPages.h"
#include "app/text/TerminalDialogs.h"

namespace Text {

class TerminalPreferences {
  public:
    enum class Result { Ok, Cancelled, NoInput };

    explicit TerminalPreferences(TerminalDialogs& dialogs)
        : m_dialogs(dialogs), m_in(dialogs.Input()), m_out(dialogs.Out()) {}

    // Until OK closes the sheet or Cancel (or the end of the input, which cancels) discards it.
    Result Run(App::CryvanPrefs& prefs);

  private:
    void RenderPopUp(App::PopUpPg& page, std::vector<std::string>& keys);
    bool ActPopUp(App::PopUpPg& page, const std::string& key);
    void RenderEmergency(App::EmergencyPasswordPg& page, std::vector<std::string>& keys);
    bool ActEmergency(App::EmergencyPasswordPg& page, const std::string& key);
    void RenderAdmin(App::AdminPg& page, std::vector<std::string>& keys);
    bool ActAdmin(App::AdminPg& page, const std::string& key);
    // One item of `items` by its number; false when none was chosen.
    bool ChooseItem(const std::vector<std::string>& items, std::uint32_t& value);

    TerminalDialogs& m_dialogs;
    App::LineInput& m_in;
    std::ostream& m_out;
};

}  // namespace Text
