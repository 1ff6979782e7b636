// The command-line parser: splits the arguments, classifies each token and writes every option
// straight into the wizard's pages through CommandLineTarget. PagesValues is the one holder of
// the values and of the "given twice" rules; the wizard copies from it into its pages.
#pragma once

#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/core/Arguments.h"
#include "app/core/MessageBoxes.h"
#include "app/core/OperationRunner.h"
#include "app/core/Options.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "engine/OperationStatus.h"

namespace App {

// Raised for every kind of invalid command line. The wizard sheet class will expose it as its
// nested `ParseError`; it lives here so that the parser does not depend on the sheet.
class WizardParseError : public std::exception {
  public:
    const char* what() const noexcept override { return "\"Command line invalid\""; }
};

inline constexpr const char* kUsageCaption = Text(StringId::ErrorCaption);
inline constexpr const char* kUsageText = Text(StringId::Usage);

// Option indices returned by OptionIndex: the wizard's words of the option table.
enum OptionId : int {
    OPT_E = static_cast<int>(Option::Encrypt),
    OPT_D = static_cast<int>(Option::Decrypt),
    OPT_C = static_cast<int>(Option::Container),
    OPT_P = static_cast<int>(Option::Password),
    OPT_O = static_cast<int>(Option::Output),
    OPT_I = static_cast<int>(Option::Inputs),
    OPT_X = static_cast<int>(Option::StandAlone),
    OPT_Q = static_cast<int>(Option::Quit),
    OPT_PREFS = static_cast<int>(Option::Preferences),
    OPT_R = static_cast<int>(Option::Deletion),
    OPT_F = static_cast<int>(Option::NoConfirm),
    OPT_VALUE = 11,
    OPT_SFX_PLATFORM = static_cast<int>(Option::SfxPlatform),
};

// Takes one token off the front of `remaining` (Windows-style command-line text); nullopt when
// only white space is left. An opening quote without a closing one raises WizardParseError.
std::optional<std::string> NextToken(std::string& remaining);
// The same over a view: the token is a view into the same text, and nothing is copied.
std::optional<std::string_view> NextToken(std::string_view& remaining);

// A name as given (relative ones in the current folder) as a full path; WizardParseError for an
// empty name.
std::string FullPath(const std::string& name);

// "/x" or "-x" with x one of the wizard's words of the option table (ignoring case) gives its
// index; anything else, an unknown name included, is a value.
int OptionIndex(std::string_view token);

// Where the parser puts what it reads: the wizard's pages. Setters of single-use options raise
// WizardParseError when their page already holds a command-line value.
class CommandLineTarget {
  public:
    virtual ~CommandLineTarget() = default;

    virtual void SetEncrypt() = 0;
    virtual void SetDecrypt() = 0;
    // The command line was refused: which argument was at fault, in words ("'-z' is not valid
    // there"); never a password.
    virtual void Invalid(std::string /*fault*/) {}
    // Shows the preferences sheet modally; returns once it is closed.
    virtual void ShowPreferences() = 0;
    virtual void Quit() = 0;

    // nullopt: the page computes the default output name.
    virtual void EncOutputName(std::optional<std::string> name) = 0;
    virtual void EncPassword(const Secret& password) = 0;
    virtual void EncAddInput(std::string fullPath) = 0;
    virtual void EncStandAlone() = 0;
    // --sfx-platform: a stand-alone container for that system.
    virtual void EncStandAlonePlatform(OperationRunner::Platform platform) = 0;
    virtual void EncDeletion(FCryptEng::InputDeletionMode mode) = 0;
    virtual void EncNoConfirm() = 0;

    virtual void DecContainer(std::string name) = 0;
    virtual void DecPassword(const Secret& password) = 0;
    // nullopt or empty: the default folder (the one that holds the container).
    virtual void DecOutputFolder(std::optional<std::string> folder) = 0;
    virtual void DecDeletion(FCryptEng::InputDeletionMode mode) = 0;
    virtual void DecNoConfirm() = 0;
};

// Every value the command line can give the pages, with the flags that mark them as given.
// Passwords are kept in wiping memory until the page that takes them, or the run, wipes them.
class PagesValues : public CommandLineTarget {
  public:
    enum class Operation { None, Encrypt, Decrypt };

    // Why the command line was refused (empty when it was not).
    std::string invalid;
    void Invalid(std::string fault) override { invalid = std::move(fault); }

    // EncOrDecPg
    Operation operation = Operation::None;
    // EndPg: finish by itself.
    bool quit = false;
    // Times the preferences sheet was asked for; a sheet-showing subclass overrides the call.
    int preferencesShown = 0;

    // EncSourcePg; also the files the file manager's shred entry destroys.
    std::vector<std::string> pendingInputs;
    // The file manager's shred entry: Overwrite or Eradicate the pending inputs, without a
    // container; asked about first unless shredConfirm is off.
    std::optional<FCryptEng::InputDeletionMode> shredMode;
    bool shredConfirm = true;
    // EncDestPg: the proposed name lies in the inputs' own folder and is not taken yet.
    bool encProposeBeside = false;
    std::optional<FCryptEng::InputDeletionMode> encDeletion;
    bool encNoConfirm = false;
    // EncDestPg
    bool encOutputFromCommandLine = false;
    bool encDefaultOutputWanted = false;
    std::string encOutputName;
    bool encStandAlone = false;
    std::optional<OperationRunner::Platform> encPlatform;
    // EncPasswordPg
    bool encPasswordFromCommandLine = false;

    // DecSourcePg
    bool decContainerFromCommandLine = false;
    std::string decContainer;
    std::optional<FCryptEng::InputDeletionMode> decDeletion;
    bool decNoConfirm = false;
    // DecPasswordPg
    bool decPasswordFromCommandLine = false;
    // DecFilesPg selects all; DecFilePg/DecDestPg take the folder (empty: the default).
    bool decOutputFromCommandLine = false;
    std::string decOutputFolder;

    // Zero-terminated; empty when none was given or once wiped.
    const char* EncPasswordText() const { return m_encPassword.c_str(); }
    const char* DecPasswordText() const { return m_decPassword.c_str(); }
    const Secret& EncPasswordValue() const { return m_encPassword; }
    const Secret& DecPasswordValue() const { return m_decPassword; }
    // Once a page holds the password, or a run has started, no copy stays here. The flags
    // that say a password was given stay.
    void WipePasswords() {
        m_encPassword.Clear();
        m_decPassword.Clear();
    }

    void SetEncrypt() override { operation = Operation::Encrypt; }
    void SetDecrypt() override { operation = Operation::Decrypt; }
    void ShowPreferences() override { ++preferencesShown; }
    void Quit() override { quit = true; }

    void EncOutputName(std::optional<std::string> name) override;
    void EncPassword(const Secret& password) override;
    void EncAddInput(std::string fullPath) override {
        pendingInputs.push_back(std::move(fullPath));
    }
    void EncStandAlone() override { encStandAlone = true; }
    void EncStandAlonePlatform(OperationRunner::Platform platform) override;
    void EncDeletion(FCryptEng::InputDeletionMode mode) override { encDeletion = mode; }
    void EncNoConfirm() override { encNoConfirm = true; }

    void DecContainer(std::string name) override;
    void DecPassword(const Secret& password) override;
    void DecOutputFolder(std::optional<std::string> folder) override;
    void DecDeletion(FCryptEng::InputDeletionMode mode) override { decDeletion = mode; }
    void DecNoConfirm() override { decNoConfirm = true; }

  private:
    Secret m_encPassword{0};
    Secret m_decPassword{0};
};

enum class StartMode { Wizard, Preferences, Invalid };

// argv as the shell split it: argv[0] (the program) is skipped, the rest are the tokens. The
// value of -p is overwritten with 'x' in argv once it is kept, so that the process list no
// longer shows it. Invalid: the error is logged and the usage box shown already.
StartMode ProcessCommandLine(const Arguments& argv, CommandLineTarget& target, MessageBoxes& boxes);
// One command-line text split by NextToken; its first token (the program) is discarded.
StartMode ProcessCommandLine(const std::string& commandLine, CommandLineTarget& target,
                             MessageBoxes& boxes);

}  // namespace App
