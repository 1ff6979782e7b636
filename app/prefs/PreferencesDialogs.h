// The preferences' own dialogs, beside the questions of a run and the choosers: a new
// administrator and the organisation password.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "app/core/FileChoosers.h"
#include "app/core/Questions.h"

namespace App {

class PreferencesDialogs : public virtual RunQuestions, public virtual FileChoosers {
  public:
    // "New Cryvan Administrator": the name, the password (confirmed) and the key-file choice.
    struct NewAdministrator {
        std::string name;
        Secret password;
        bool keyFile = true;
    };
    // nullopt on Cancel.
    virtual std::optional<NewAdministrator> AskNewAdministrator() = 0;
    // The organisation password that unlocks the organisation's private key; OK needs at least
    // `minLength` characters. nullopt on Cancel.
    virtual std::optional<Secret> AskOrganisationPassword(std::size_t minLength) = 0;
};

}  // namespace App
