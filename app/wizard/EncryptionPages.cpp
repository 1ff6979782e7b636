#include "app/wizard/EncryptionPages.h"

#include <cryptopp/misc.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <exception>
#include <filesystem>
#include <optional>

#include "app/config/Settings.h"
#include "app/core/GeneratePassword.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "os/File.h"
#include "os/Logger.h"

namespace App {

namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
    if (s.size() < tail.size())
        return false;
    return std::equal(tail.begin(), tail.end(), s.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

// The first page's data-recovery line; a missing configuration is said in so many words.
std::string StatusLine(const UserConfig& config) {
    return config.RecoveryConfigMissing() ? std::string(UserConfig::kRecoveryMissingText)
                                          : config.RecoveryStatusText();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

EncOrDecPg::EncOrDecPg(WizardContext& context)
    : Page(kEncOrDecPg, Text(StringId::WelcomeTitle), Text(StringId::WelcomeSubtitle), true),
      m_context(context) {}

bool EncOrDecPg::RecoveryApplies() const {
    const std::uint32_t flags = m_context.config.Flags();
    return (flags & (OrganisationProfile::NoRecord | OrganisationProfile::RecoveryNotApplied)) == 0;
}

void EncOrDecPg::OnSetActive() {
    OS::Trace t("EncOrDecPg::OnSetActive()");
    const bool applies = RecoveryApplies();
    const std::uint32_t flags = m_context.config.Flags();
    encryptionAvailable =
        !(applies && (flags & (UserConfig::RecoveryInvalid | UserConfig::OrganisationUnusable)));
    decryptionAvailable = true;
    statusLine = applies ? StatusLine(m_context.config) : std::string();
    preferencesEnabled = encryptionAvailable;

    Sheet& sheet = TheSheet();
    sheet.SetNextText("Encrypt");
    sheet.SetBackText("Decrypt");
    sheet.SetWizardButtons((encryptionAvailable ? unsigned(kNext) : 0u) |
                           (decryptionAvailable ? unsigned(kBack) : 0u));

    PagesValues& cl = m_context.commandLine;
    if (cl.operation == PagesValues::Operation::Encrypt && encryptionAvailable)
        sheet.PostPress(kNext);
    else if (cl.operation == PagesValues::Operation::Decrypt && decryptionAvailable)
        sheet.PostPress(kBack);
    cl.operation = PagesValues::Operation::None;
}

void EncOrDecPg::Preferences() {
    OS::Trace t("EncOrDecPg::Preferences()");
    if (m_context.dialogs.ShowPreferences() && RecoveryApplies())
        statusLine = StatusLine(m_context.config);
    Changed();
}

int EncOrDecPg::OnWizardNext() {
    OS::Trace t("EncOrDecPg::OnWizardNext()");
    m_context.runner.SetMode(true);
    TheSheet().SetNextText(Text(StringId::NextButton));
    TheSheet().SetBackText(Text(StringId::BackButton));
    return kEncSourcePg;
}

int EncOrDecPg::OnWizardBack() {
    OS::Trace t("EncOrDecPg::OnWizardBack()");
    m_context.runner.SetMode(false);
    TheSheet().SetNextText(Text(StringId::NextButton));
    TheSheet().SetBackText(Text(StringId::BackButton));
    return kDecSourcePg;
}

std::vector<std::string> EncOrDecPg::Texts() const {
    return {
        "Please select whether you would like to create a new encrypted file, or decrypt an "
        "existing file.",
        statusLine,
        "Click here to set your Cryvan preferences:", Text(StringId::PreferencesButton)};
}

// ---------------------------------------------------------------------------------------------

EncSourcePg::EncSourcePg(WizardContext& context)
    : Page(kEncSourcePg, Text(StringId::SelectFilesToEncrypt),
           "Choose the files you wish to encrypt."),
      list(context.runner.Questions()),
      m_context(context) {}

bool EncSourcePg::Busy() const {
    return m_context.background.Busy();
}

void EncSourcePg::AddPaths(const std::vector<std::string>& paths, std::function<void()> then) {
    if (paths.empty()) {
        if (then)
            then();
        return;
    }
    // No button works while the rows are on their way.
    TheSheet().SetWizardButtons(0);
    Changed();
    list.AddMany(paths, &m_context.background, [this, then] {
        UpdateButtons();
        Changed();
        if (then)
            then();
    });
}

void EncSourcePg::UpdateButtons() {
    TheSheet().SetWizardButtons(kBack | (list.Count() > 0 ? unsigned(kNext) : 0u));
    // The rows changed, whether or not the buttons did.
    Changed();
}

void EncSourcePg::AddFiles() {
    OS::Trace t("EncSourcePg::AddFiles()");
    AddPaths(m_context.dialogs.ChooseFiles(kFilesTitle));
}

void EncSourcePg::AddFolder() {
    OS::Trace t("EncSourcePg::AddFolder()");
    if (const auto folder = m_context.dialogs.ChooseFolder(kFolderTitle, std::string()))
        AddPaths({*folder});
}

void EncSourcePg::RemoveRows(const std::vector<std::size_t>& rows) {
    list.SelectOnly(rows);
    RemoveSelected();
}

void EncSourcePg::EditOptions() {
    OS::Trace t("EncSourcePg::EditOptions()");
    WizardDialogs::SourceOptions edited = options;
    if (m_context.dialogs.EditSourceOptions(edited))
        options = edited;
    Changed();
}

void EncSourcePg::RemoveSelected() {
    list.RemoveSelected();
    UpdateButtons();
}

void EncSourcePg::Drop(const std::vector<std::string>& paths) {
    OS::Trace t("EncSourcePg::Drop()");
    AddPaths(paths);
}

void EncSourcePg::OnSetActive() {
    OS::Trace t("EncSourcePg::OnSetActive()");
    PagesValues& cl = m_context.commandLine;
    if (cl.encDeletion) {
        options.deletionIndex = static_cast<int>(*cl.encDeletion);
        options.confirm = !cl.encNoConfirm;
        cl.encDeletion.reset();
    }
    UpdateButtons();
    if (!cl.pendingInputs.empty()) {
        const std::vector<std::string> inputs = std::move(cl.pendingInputs);
        cl.pendingInputs.clear();
        AddPaths(inputs, [this] { TheSheet().PostPress(kNext); });
    }
}

int EncSourcePg::OnWizardNext() {
    OS::Trace t("EncSourcePg::OnWizardNext()");
    m_context.stopReason.clear();
    OperationRunner& runner = m_context.runner;
    if (list.changed) {
        runner.ClearPlainFiles();
        for (std::size_t i = 0; i < list.Count(); ++i) {
            const std::string full = list.FullName(i);
            try {
                runner.AddPlainFile(full);
            } catch (const std::exception& e) {
                // The reason too: "could not be opened" alone hides a file that is too large.
                m_context.dialogs.Show(Format(kRejectedText, full.c_str()) + "\n\n" + e.what(),
                                       kPagesCaption, Icon::Warning, Buttons::Ok, Answer::Ok);
                m_context.Refuse(full + ": " + e.what());
                list.DeleteRow(i);
                UpdateButtons();
                return kVeto;
            }
        }
        list.changed = false;
    }
    // Both are the settings' numbers, which are the named values' own.
    runner.SetPath(FCryptEng::PathMode(options.pathOption), std::nullopt);
    runner.SetDeletion(OperationRunner::DeletionMode(options.deletionIndex), options.confirm);
    return kEncDestPg;
}

int EncSourcePg::OnWizardBack() {
    OS::Trace t("EncSourcePg::OnWizardBack()");
    list.changed = true;
    return kEncOrDecPg;
}

std::vector<std::string> EncSourcePg::Texts() const {
    return {
        "Use the buttons to select files and folders to encrypt.  You can also add files and "
        "folders using 'drag and drop' from your desktop or from your file manager.",
        "Add Files...", "Add Folder...", "Options..."};
}

// ---------------------------------------------------------------------------------------------

EncDestPg::EncDestPg(WizardContext& context)
    : Page(kEncDestPg, Text(StringId::SelectOutputFile),
           "Choose the name of the encrypted output file."),
      m_context(context) {}

void EncDestPg::SetName(std::string text) {
    if (text.size() > kMaxName)
        text.resize(kMaxName);
    name = std::move(text);
    m_nameIsDefault = false;
    defaultWanted = false;
    confirmed = false;
    collisionChecked = false;
    UpdateButtons();
}

void EncDestPg::SetKind(int newKind) {
    kind = newKind == 1 ? 1 : 0;
    if (kind == 0 && EndsWithNoCase(name, ".exe"))
        SetName(name.substr(0, name.size() - 4));
    else if (kind == 1 && !EndsWithNoCase(name, ".exe"))
        SetName(name + ".exe");
    Changed();
}

void EncDestPg::SetPlatform(OperationRunner::Platform newPlatform) {
    platform = newPlatform;
    Changed();
}

void EncDestPg::Browse() {
    OS::Trace t("EncDestPg::Browse()");
    // A browsed name is asked about on Next like a typed one, unless the chooser asked already.
    if (const auto chosen = m_context.dialogs.ChooseSaveFile(kBrowseTitle, name, kFilter, "aes")) {
        SetName(*chosen);
        confirmed = m_context.dialogs.SaveAsksBeforeReplacing();
    }
}

void EncDestPg::UpdateButtons() {
    // What the fields show changed too, whether or not the buttons did.
    Changed();
    const bool usable = !name.empty() && name.back() != '/';
    TheSheet().SetWizardButtons(kBack | (usable ? unsigned(kNext) : 0u));
}

void EncDestPg::OnSetActive() {
    OS::Trace t("EncDestPg::OnSetActive()");
    PagesValues& cl = m_context.commandLine;
    bool press = false;
    if (!m_commandLineTaken) {
        m_commandLineTaken = true;
        if (cl.encStandAlone)
            kind = 1;
        platform = cl.encPlatform ? *cl.encPlatform
                                  : static_cast<OperationRunner::Platform>(
                                        Settings::Get(Settings::kStandAlonePlatform));
        if (cl.encOutputFromCommandLine) {
            fromCommandLine = true;
            press = true;
            if (!cl.encDefaultOutputWanted) {
                SetName(cl.encOutputName);
            }
        }
    }
    collisionChecked = false;
    if (defaultWanted) {
        std::string folder = m_context.config.GetFolders().desktop;
        if (cl.encProposeBeside) {
            // From a file manager, the container goes where the files are.
            bool isFolder = false;
            if (const auto first = m_context.runner.PlainFile(0, isFolder, false))
                folder = first->substr(0, first->rfind('/') + 1);
        }
        const auto dest = m_context.runner.DefaultDest(folder);
        std::string proposed = dest ? *dest + ".aes" : std::string();
        if (cl.encProposeBeside && dest)
            proposed = NameNotTaken(*dest, ".aes");
        SetName(proposed);
        m_nameIsDefault = true;
    }
    UpdateButtons();
    if (press)
        TheSheet().PostPress(kNext);
}

std::string EncDestPg::NameNotTaken(const std::string& stem, const std::string& extension) {
    const auto taken = [](const std::string& path) {
        std::error_code ec;
        return std::filesystem::symlink_status(path, ec).type() !=
               std::filesystem::file_type::not_found;
    };
    std::string name = stem + extension;
    for (int n = 2; n < 1000 && taken(name); ++n)
        name = stem + " (" + std::to_string(n) + ")" + extension;
    return name;
}

std::string EncDestPg::Normalised(const std::string& given, int kind) {
    std::string full = given;
    if (full.empty() || full.front() != '/')
        full = (std::filesystem::current_path() / full).string();
    if (kind == 1) {
        if (EndsWithNoCase(full, ".aes"))
            full.resize(full.size() - 4);
        if (!EndsWith(full, ".exe"))
            full += ".aes.exe";
    } else {
        if (EndsWithNoCase(full, ".aes.exe"))
            full.resize(full.size() - 8);
        if (!EndsWith(full, ".aes"))
            full += ".aes";
    }
    return full;
}

std::optional<std::string> EncDestPg::ShortenedName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::string file = path.substr(start);
    if (file.size() <= kMaxFileName)
        return std::nullopt;
    std::size_t ext = 0;
    for (const char* e : {".aes.exe", ".aes", ".exe"})
        if (EndsWithNoCase(file, e)) {
            ext = std::strlen(e);
            break;
        }
    std::size_t keep = kMaxFileName - ext;
    // Never in the middle of a character: back up over continuation bytes.
    while (keep > 0 && (static_cast<unsigned char>(file[keep]) & 0xC0) == 0x80)
        --keep;
    return path.substr(0, start) + file.substr(0, keep) + file.substr(file.size() - ext);
}

int EncDestPg::Fail(const std::string& text, const char* caption) {
    m_context.dialogs.Show(text, caption, Icon::Warning, Buttons::Ok, Answer::Ok);
    focusName = true;
    return kVeto;
}

int EncDestPg::OnWizardNext() {
    OS::Trace t("EncDestPg::OnWizardNext()");
    OperationRunner& runner = m_context.runner;
    bool exists = false;
    try {
        const bool wasDefault = m_nameIsDefault;
        const std::string full = Normalised(name, kind);
        if (full != name)
            SetName(full);
        m_context.stopReason.clear();
        if (const auto shorter = ShortenedName(name)) {
            // No file system takes a name over 255 bytes: the program's own proposal is simply
            // shortened; a name the user gave is proposed shortened and asked about again.
            const std::string given = name;
            SetName(*shorter);
            if (!wasDefault) {
                m_context.Refuse(given + ": " + kTooLongReason);
                return Fail(Format(kTooLongText, given.c_str(), name.c_str()));
            }
        }
        const char* shown = name.c_str();

        const OS::File::Info info(name, true);
        exists = info.Exists();
        if (exists) {
            const std::uint32_t attributes = info.Attributes();
            if (attributes & OS::ATTR_DIRECTORY)
                return Fail(Format(kFolderText, shown));
            if (attributes & OS::ATTR_READONLY)
                return Fail(Format(kReadOnlyText, shown));
            try {
                OS::WriteFile probe(name, OS::WriteMode::OpenExisting);
                probe.Open();
                probe.Close();
            } catch (const OS::File::Error& e) {
                return Fail(
                    Format(e.code == OS::ErrorCode::InUse ? kInUseText : kCannotOpenText, shown));
            }
        }

        if (!collisionChecked) {
            collisionChecked = true;
            if (exists) {
                bool isFolder = false;
                for (std::size_t i = 0;; ++i) {
                    const auto plain = runner.PlainFile(i, isFolder, false);
                    if (!plain)
                        break;
                    if (*plain == name) {
                        Fail(kSourceText);
                        TheSheet().SetWizardButtons(kBack);
                        return kVeto;
                    }
                }
            }
        }

        if (exists && !confirmed) {
            if (m_context.dialogs.Show(Format(kReplaceText, shown), kPagesCaption, Icon::Warning,
                                       Buttons::YesNo, Answer::No) != Answer::Yes) {
                focusName = true;
                return kVeto;
            }
            confirmed = true;
        }
    } catch (const OS::File::Error& e) {
        OS::Logger::Log(OS::LOG_ERROR, e.what());
        return Fail(kFileErrorText, kFileErrorCaption);
    }

    try {
        runner.SetCipherFile(name);
    } catch (const OS::File::Error&) {
        return Fail(Format(kCannotOpenText, name.c_str()));
    }
    try {
        runner.SetHeader(kind == 1, platform);
    } catch (const std::exception& e) {
        // The stand-alone image may be missing from this build.
        return Fail(e.what(), UserConfig::kErrorCaption);
    }
    return kEncPasswordPg;
}

int EncDestPg::OnWizardBack() {
    OS::Trace t("EncDestPg::OnWizardBack()");
    collisionChecked = false;
    return kEncSourcePg;
}

std::vector<std::string> EncDestPg::Texts() const {
    return {"Please enter the name of the encrypted file you wish to create.",
            Text(StringId::BrowseButton),
            "Select whether you would like the output file to be a normal Cryvan file or an "
            "executable file that may be used independently.",
            "Create normal Cryvan file (.aes)",
            "Create stand-alone executable file (.aes.exe)",
            "The stand-alone executable runs on:",
            "Windows",
            "Linux"};
}

// ---------------------------------------------------------------------------------------------

EncPasswordPg::EncPasswordPg(WizardContext& context)
    : Page(kEncPasswordPg, Text(StringId::PasswordPageTitle),
           "Choose your password to protect this encrypted file."),
      m_context(context) {}

EncPasswordPg::~EncPasswordPg() = default;

void EncPasswordPg::WipeFields() {
    m_password.Clear();
    m_confirmation.Clear();
    Changed();
}

void EncPasswordPg::UpdateButtons() {
    // What the fields show changed too, whether or not the buttons did.
    Changed();
    if (!ConfirmationEnabled()) {
        TheSheet().SetWizardButtons(kBack);
        return;
    }
    TheSheet().SetWizardButtons(kBack |
                                (m_confirmation.size() >= kMinPassword ? unsigned(kNext) : 0u));
}

void EncPasswordPg::SetPassword(std::string_view text) {
    m_password.Assign(text);
    plainView = false;
    UpdateButtons();
}

void EncPasswordPg::SetConfirmation(std::string_view text) {
    m_confirmation.Assign(text);
    UpdateButtons();
}

void EncPasswordPg::SetPlainPassword(std::string_view text) {
    SetPassword(text);
    Changed();
}

void EncPasswordPg::GeneratePassword() {
    OS::Trace t("EncPasswordPg::GeneratePassword()");
    const Secret generated = App::GeneratePassword();
    SetPlainPassword(generated.View());
    SetConfirmation(generated.View());
    plainView = true;
    Changed();
}

void EncPasswordPg::SetEmergency(bool ticked) {
    if (!emergencyEnabled)
        return;
    defaultUntouched = false;
    emergencyTicked = ticked;
    Changed();
}

void EncPasswordPg::OnSetActive() {
    OS::Trace t("EncPasswordPg::OnSetActive()");
    PagesValues& cl = m_context.commandLine;
    bool press = false;
    if (!m_commandLineTaken && cl.encPasswordFromCommandLine) {
        m_commandLineTaken = true;
        fromCommandLine = true;
        m_password.Assign(cl.EncPasswordValue().View());
        m_confirmation.Assign(cl.EncPasswordValue().View());
        cl.WipePasswords();
        press = m_password.size() > 5;
    }
    TheSheet().SetNextText("Encrypt");
    plainView = false;
    UpdateButtons();

    const UserConfig& config = m_context.config;
    if (!config.EmergencyPermitted() || !config.Emergency() || !config.EmergencyValid()) {
        emergencyTicked = false;
        emergencyEnabled = false;
    } else {
        emergencyEnabled = true;
        if (defaultUntouched)
            emergencyTicked = Settings::Get(Settings::kDefaultEmergencyPassword) == 1;
    }
    emergencyStatus = config.EmergencyStatusText();
    if (press)
        TheSheet().PostPress(kNext);
}

int EncPasswordPg::OnWizardNext() {
    OS::Trace t("EncPasswordPg::OnWizardNext()");
    if (m_password != m_confirmation) {
        focusPassword = true;
        m_context.dialogs.Show(kMismatchText, kPagesCaption, Icon::Warning, Buttons::Ok,
                               Answer::Ok);
        return kVeto;
    }
    m_context.stopReason.clear();
    const UserConfig& config = m_context.config;
    if (!m_emergencyLeftOutAccepted && config.EmergencyExpectedButUnusable()) {
        // Never leave out silently an entry the user counts on; without an answer, stop.
        if (m_context.dialogs.Show(
                Format(UserConfig::kEmergencyLeftOutText, emergencyStatus.c_str()), kPagesCaption,
                Icon::Warning, Buttons::YesNo, Answer::No) != Answer::Yes) {
            m_context.Refuse(config.EmergencyPath() + ": " + emergencyStatus);
            return kVeto;
        }
        m_emergencyLeftOutAccepted = true;
    }
    OperationRunner& runner = m_context.runner;
    runner.ClearPassword();
    runner.SetPassword(m_password.c_str());
    m_context.config.AddRecoveries(runner.Cryptor(), emergencyTicked);
    return kEncProgressPg;
}

int EncPasswordPg::OnWizardBack() {
    OS::Trace t("EncPasswordPg::OnWizardBack()");
    TheSheet().SetNextText(Text(StringId::NextButton));
    return kEncDestPg;
}

std::vector<std::string> EncPasswordPg::Texts() const {
    std::vector<std::string> texts{
        "Please enter the password that will be used to protect the encrypted file.  For greater "
        "security, use a long, complicated password or passphrase.",
        Text(StringId::PasswordLabel), Text(StringId::ConfirmLabel),
        Text(StringId::GenerateInvitation), Text(StringId::GeneratePasswordButton)};
    if (emergencyEnabled)
        texts.push_back(
            "Would you also like to be able to use your emergency password to access this file?");
    texts.push_back("Enable my emergency password");
    texts.push_back(emergencyStatus);
    texts.push_back("To begin encrypting your files, click 'Encrypt'.");
    return texts;
}

}  // namespace App
