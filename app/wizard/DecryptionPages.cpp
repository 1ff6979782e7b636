#include "app/wizard/DecryptionPages.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/config/ContainerWays.h"
#include "app/core/Secrets.h"
#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "engine/ContainerInfo.h"
#include "os/Directory.h"
#include "os/File.h"
#include "os/Logger.h"

namespace App {

namespace {

using Icon = MessageBoxes::Icon;
using Buttons = MessageBoxes::Buttons;
using Answer = MessageBoxes::Answer;
using FCryptEng::UnlockResult;

constexpr char kSeparator = '/';

std::string NamePart(const std::string& path) {
    const std::size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// The container's full path as the source page made it (the engine keeps only its name).
std::string ContainerPath(const Sheet& sheet) {
    const auto* source = dynamic_cast<const DecSourcePg*>(sheet.PageById(kDecSourcePg));
    return source ? source->name : std::string();
}

}  // namespace

// ---------------------------------------------------------------------------------------------

DecSourcePg::DecSourcePg(WizardContext& context)
    : Page(kDecSourcePg, Text(StringId::SelectFileToDecrypt),
           "Choose the encrypted file you wish to decrypt."),
      m_context(context) {}

void DecSourcePg::SetName(std::string text) {
    if (text.size() > kMaxName)
        text.resize(kMaxName);
    name = std::move(text);
    UpdateButtons();
}

void DecSourcePg::SetDeletionIndex(int index) {
    deletionIndex = std::clamp(index, 0, 4);
    Changed();
}

void DecSourcePg::Browse() {
    OS::Trace t("DecSourcePg::Browse()");
    if (auto chosen = m_context.dialogs.ChooseOpenFile(kBrowseTitle, name, kFilter, "aes"))
        SetName(*chosen);
}

void DecSourcePg::UpdateButtons() {
    // What the fields show changed too, whether or not the buttons did.
    Changed();
    TheSheet().SetWizardButtons(kBack | (name.empty() ? 0u : unsigned(kNext)));
}

void DecSourcePg::OnSetActive() {
    OS::Trace t("DecSourcePg::OnSetActive()");
    PagesValues& cl = m_context.commandLine;
    if (!m_commandLineTaken) {
        m_commandLineTaken = true;
        if (cl.decDeletion)
            SetDeletionIndex(int(*cl.decDeletion));
        if (cl.decNoConfirm)
            confirm = false;
        if (cl.decContainerFromCommandLine) {
            fromCommandLine = true;
            SetName(cl.decContainer);
            TheSheet().PostPress(kNext);
        }
    }
    UpdateButtons();
}

int DecSourcePg::OnWizardBack() {
    return kEncOrDecPg;
}

int DecSourcePg::OnWizardNext() {
    OS::Trace t("DecSourcePg::OnWizardNext()");
    std::error_code ec;
    if (name.empty() || !std::filesystem::is_regular_file(name, ec)) {
        m_context.dialogs.Show(kNotFoundText, kNotFoundCaption, Icon::Warning, Buttons::Ok,
                               Answer::Ok);
        focusName = true;
        return kVeto;
    }
    const std::string full = std::filesystem::absolute(name, ec).lexically_normal().string();
    if (!ec && !full.empty())
        SetName(full);
    m_context.stopReason.clear();
    OperationRunner& runner = m_context.runner;
    const UserConfig& config = m_context.config;
    const std::string container = name;
    // The footers now, so that a file that is no container is refused here, not later.
    const std::optional<Opening> opened =
        m_opening.Take(*this, TheSheet(), m_context.background, [&runner, &config, container] {
            Opening o;
            try {
                runner.SetCipherFile(container);
            } catch (const OS::File::Error& e) {
                o.fileError = e.what();
                return o;
            }
            try {
                runner.ClearPassword();
            } catch (const std::exception& e) {
                o.corrupt = e.what();
                return o;
            }
            try {
                const ContainerWays ways = MatchWays(
                    FCryptEng::ContainerInfo::OfKeyFooter(runner.Cryptor().Keys()), config);
                o.waysIn = OpensWithLine(ways);
                if (ways.info.administrators)
                    o.administratorsNeeded = ways.info.administrators->Needed();
            } catch (const std::exception& e) {
                // Only a line less on the next page: the container itself opened.
                OS::Logger::Log(OS::LOG_WARN, container + ": ways in not read: " + e.what());
            }
            return o;
        });
    if (!opened)
        return kVeto;
    // Empty after a refusal, so nothing of an earlier container is left on the next page.
    if (auto* password = dynamic_cast<DecPasswordPg*>(TheSheet().PageById(kDecPasswordPg)))
        password->SetWaysIn(opened->waysIn, opened->administratorsNeeded);
    if (!opened->fileError.empty()) {
        // Exists but cannot be opened (permissions, a special file): say why and stay.
        m_context.dialogs.Show(opened->fileError, Text(StringId::FileErrorCaption), Icon::Warning,
                               Buttons::Ok, Answer::Ok);
        m_context.Refuse(name + ": " + opened->fileError);
        focusName = true;
        return kVeto;
    }
    if (!opened->corrupt.empty()) {
        m_context.dialogs.Show(DecPasswordPg::kCorruptText, DecPasswordPg::kErrorCaption,
                               Icon::Error, Buttons::Ok, Answer::Ok);
        m_context.Refuse(name + ": " + DecPasswordPg::kCorruptText + " (" + opened->corrupt + ")");
        focusName = true;
        return kVeto;
    }
    m_context.runner.SetDeletion(OperationRunner::DeletionMode(deletionIndex), confirm);
    if (auto* files = dynamic_cast<DecFilesPg*>(TheSheet().PageById(kDecFilesPg)))
        files->filled = false;
    return kDecPasswordPg;
}

std::vector<std::string> DecSourcePg::Texts() const {
    return {"Please enter the name of the encrypted file you wish to decrypt:.",
            Text(StringId::BrowseButton),
            "What do you want to do with the encrypted input file once decryption is complete?",
            "Please",
            " the input file when done.",
            "Ask for confirmation first."};
}

// ---------------------------------------------------------------------------------------------

DecPasswordPg::DecPasswordPg(WizardContext& context)
    : Page(kDecPasswordPg, Text(StringId::PasswordPageTitle),
           "Enter the password for this encrypted file."),
      m_context(context) {}

void DecPasswordPg::Store(const char* text, std::size_t length) {
    m_password.Assign(std::string_view(text, length));
}

void DecPasswordPg::WipeFields() {
    m_password.Clear();
    Changed();
}

void DecPasswordPg::SetPassword(std::string_view text) {
    Store(text.data(), text.size());
    unlocked = false;
    m_unlocking.Reset();
    UpdateButtons();
}

void DecPasswordPg::SetWaysIn(std::string line, std::size_t administratorsNeeded) {
    waysIn = std::move(line);
    m_administratorsNeeded = administratorsNeeded;
    Changed();
}

void DecPasswordPg::UpdateButtons() {
    // What the fields show changed too, whether or not the buttons did.
    Changed();
    TheSheet().SetWizardButtons(kBack | (m_password.size() >= kMinPassword ? unsigned(kNext) : 0u));
}

void DecPasswordPg::OnSetActive() {
    OS::Trace t("DecPasswordPg::OnSetActive()");
    PagesValues& cl = m_context.commandLine;
    if (!m_commandLineTaken) {
        m_commandLineTaken = true;
        if (cl.decPasswordFromCommandLine) {
            fromCommandLine = true;
            const std::string_view text = cl.DecPasswordValue().View();
            Store(text.data(), text.size());
            cl.WipePasswords();
            unlocked = false;
            TheSheet().PostPress(kNext);
        }
    }
    UpdateButtons();
}

int DecPasswordPg::OnWizardBack() {
    unlocked = false;
    m_unlocking.Reset();
    Store("", 0);
    return kDecSourcePg;
}

void DecPasswordPg::Box(const char* text, const char* caption, MessageBoxes::Icon icon) {
    m_context.dialogs.Show(text, caption, icon, Buttons::Ok, Answer::Ok);
}

FCryptEng::UnlockResult DecPasswordPg::Try(const char* text) {
    return m_context.runner.SetPassword(text);
}

bool DecPasswordPg::AskAdministrators() {
    OS::Trace t("DecPasswordPg::AskAdministrators()");
    for (;;) {
        const std::size_t more = m_administratorsNeeded > m_administratorsAccepted
                                     ? m_administratorsNeeded - m_administratorsAccepted
                                     : 0;
        std::optional<Secret> entered =
            m_context.dialogs.AskAdministratorPassword(RunQuestions::StillNeededText(more));
        if (!entered) {
            m_context.runner.ClearPassword();
            return false;
        }
        const UnlockResult result = Try(entered->c_str());
        entered->Clear();
        switch (result) {
            case UnlockResult::Unlocked:
                return true;
            case UnlockResult::Wrong:
                Box(kWrongText, kCaption, Icon::Warning);
                break;
            case UnlockResult::MoreAdmins:
                ++m_administratorsAccepted;
                break;
            case UnlockResult::Cancelled:
                m_context.runner.ClearPassword();
                return false;
            case UnlockResult::KeyFileUnusable:
                Box(kKeyErrorText, kCaption, Icon::Error);
                m_context.runner.ClearPassword();
                return false;
            default:
                Box(kCorruptText, kErrorCaption, Icon::Error);
                m_context.runner.ClearPassword();
                return false;
        }
    }
}

int DecPasswordPg::OnWizardNext() {
    OS::Trace t("DecPasswordPg::OnWizardNext()");
    m_context.stopReason.clear();
    if (!unlocked) {
        const std::optional<UnlockResult> tried =
            m_unlocking.Take(*this, TheSheet(), m_context.background, [this] {
                UnlockResult result = UnlockResult::Failed;
                try {
                    // Reads the footers again: the file may have changed since it was chosen.
                    m_context.runner.ClearPassword();
                    result = Try(m_password.c_str());
                } catch (const std::exception& e) {
                    OS::Logger::Log(OS::LOG_ERROR, std::string(kCorruptText) + " " + e.what());
                }
                return result;
            });
        if (!tried)
            return kVeto;
        const UnlockResult result = *tried;
        switch (result) {
            case UnlockResult::Unlocked:
                unlocked = true;
                break;
            case UnlockResult::Wrong:
                Box(kWrongText, kCaption, Icon::Warning);
                Store("", 0);
                UpdateButtons();
                focusPassword = true;
                return kVeto;
            case UnlockResult::MoreAdmins:
                m_administratorsAccepted = 1;
                if (!AskAdministrators())
                    return kVeto;
                unlocked = true;
                break;
            case UnlockResult::Cancelled:
                return kVeto;
            case UnlockResult::KeyFileUnusable:
                Box(kKeyErrorText, kCaption, Icon::Error);
                return kVeto;
            default:
                // Failed, or Nothing: a container without a key entry is damaged, not
                // unlocked.
                Box(kCorruptText, kErrorCaption, Icon::Error);
                m_context.Refuse(ContainerPath(TheSheet()) + ": " + kCorruptText);
                return kVeto;
        }
    }
    return m_context.runner.PlainFileCount(false) == 1 ? kDecFilePg : kDecFilesPg;
}

std::vector<std::string> DecPasswordPg::Texts() const {
    std::vector<std::string> texts{
        "Please enter the password to enable Cryvan to decrypt the given input file.",
        Text(StringId::PasswordLabel), "Forgotten the password?",
        "If this is a file that you created, you can also try your emergency password.",
        "Corporate users: if this file was created within your company, you can also use "
        "one of your Cryvan data recovery passwords."};
    if (!waysIn.empty())
        texts.push_back(waysIn);
    return texts;
}

// ---------------------------------------------------------------------------------------------

DecFilesPg::DecFilesPg(WizardContext& context)
    : Page(kDecFilesPg, "Select Files to Decrypt", "Please select the files you wish to decrypt."),
      list(context.dialogs),
      m_context(context) {}

void DecFilesPg::SelectionChanged() {
    const auto& rows = list.Rows();
    const bool any =
        std::any_of(rows.begin(), rows.end(), [](const auto& r) { return r.selected; });
    TheSheet().SetWizardButtons(kBack | (any ? unsigned(kNext) : 0u));
}

void DecFilesPg::ToggleRows(const std::vector<std::size_t>& rows) {
    auto& all = list.Rows();
    for (std::size_t r : rows)
        if (r < all.size())
            all[r].selected = !all[r].selected;
    SelectionChanged();
    Changed();
}

void DecFilesPg::SetSelection(const std::vector<std::size_t>& rows) {
    list.SelectOnly(rows);
    SelectionChanged();
    Changed();
}

void DecFilesPg::SelectAll() {
    list.SelectAll();
    SelectionChanged();
    Changed();
}

void DecFilesPg::Fill() {
    OS::Trace t("DecFilesPg::Fill()");
    list.Clear();
    std::vector<std::string> names;
    for (std::size_t i = 0;; ++i) {
        bool isFolder = false;
        std::optional<std::string> stored = m_context.runner.PlainFile(i, isFolder, false);
        if (!stored)
            break;
        names.push_back((isFolder ? "*" : "") + *stored);
    }
    list.Fill(names);
    filled = true;
}

void DecFilesPg::OnSetActive() {
    OS::Trace t("DecFilesPg::OnSetActive()");
    if (!m_commandLineTaken) {
        m_commandLineTaken = true;
        selectAll = m_context.commandLine.decOutputFromCommandLine;
    }
    if (!filled)
        Fill();
    if (selectAll) {
        list.SelectAll();
        TheSheet().PostPress(kNext);
        selectAll = false;
    }
    SelectionChanged();
}

int DecFilesPg::OnWizardBack() {
    return kDecPasswordPg;
}

int DecFilesPg::OnWizardNext() {
    OS::Trace t("DecFilesPg::OnWizardNext()");
    m_context.runner.ClearPlainFiles();
    for (const auto& row : list.Rows())
        if (row.selected)
            m_context.runner.SelectPlainFile(row.itemValue);
    return kDecDestPg;
}

std::vector<std::string> DecFilesPg::Texts() const {
    return {"Please select the files you wish to decrypt from the list below.", "Select All"};
}

// ---------------------------------------------------------------------------------------------

std::string ContainerFolder(const std::string& path) {
    const std::size_t cut = path.rfind(kSeparator);
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

bool CheckDestinationFolder(std::string& folder, bool fromCommandLine, MessageBoxes& boxes) {
    OS::Trace t("CheckDestinationFolder()");
    if (folder.empty())
        folder = ".";
    if (folder.back() != kSeparator)
        folder += kSeparator;
    bool exists = false;
    try {
        exists = OS::Directory::Exists(folder);
    } catch (const OS::Directory::Error&) {
        boxes.Show(Text(StringId::FileAccessFailed), Text(StringId::FileErrorCaption),
                   Icon::Warning, Buttons::Ok, Answer::Ok);
        return false;
    }
    if (exists || fromCommandLine)
        return true;
    // The engine creates missing folders when it writes; the page only asks.
    return boxes.Show(Text(StringId::CreateFolderQuestion), Text(StringId::AppName), Icon::Question,
                      Buttons::YesNo, Answer::Yes) == Answer::Yes;
}

// ---------------------------------------------------------------------------------------------

DestinationPage::DestinationPage(int id, std::string subtitle, WizardContext& context)
    : Page(id, "Select Destination Path", std::move(subtitle)), m_context(context) {}

void DestinationPage::SetFolder(std::string text) {
    folder = std::move(text);
    UpdateButtons();
}

void DestinationPage::UpdateButtons() {
    // What the fields show changed too, whether or not the buttons did.
    Changed();
    TheSheet().SetWizardButtons(kBack | (folder.empty() ? 0u : unsigned(kNext)));
}

void DestinationPage::Activate() {
    if (!m_commandLineTaken) {
        m_commandLineTaken = true;
        if (m_context.commandLine.decOutputFromCommandLine) {
            fromCommandLine = true;
            folder = m_context.commandLine.decOutputFolder;
        }
    }
    const std::string container = ContainerPath(TheSheet());
    if (container != m_proposedFor) {
        m_proposedFor = container;
        if (!(fromCommandLine && !folder.empty()))
            folder = ContainerFolder(container);
    }
    TheSheet().SetNextText("Decrypt");
    UpdateButtons();
    if (fromCommandLine)
        TheSheet().PostPress(kNext);
}

bool DestinationPage::FolderAccepted() {
    if (CheckDestinationFolder(folder, fromCommandLine, m_context.dialogs))
        return true;
    focusFolder = true;
    return false;
}

// ---------------------------------------------------------------------------------------------

DecFilePg::DecFilePg(WizardContext& context)
    : DestinationPage(kDecFilePg, "Choose the folder for the decrypted file.", context) {}

std::string DecFilePg::StoredName() const {
    bool isFolder = false;
    return m_context.runner.PlainFile(0, isFolder, false).value_or(std::string());
}

void DecFilePg::Browse() {
    OS::Trace t("DecFilePg::Browse()");
    if (auto chosen =
            m_context.dialogs.ChooseFolder(Format(kBrowseTitle, StoredName().c_str()), folder))
        SetFolder(*chosen);
}

void DecFilePg::OnSetActive() {
    OS::Trace t("DecFilePg::OnSetActive()");
    instruction = Format(kInstruction, NamePart(StoredName()).c_str());
    Activate();
}

int DecFilePg::OnWizardBack() {
    // This page forgets the container on every data exchange: its folder is proposed again.
    m_proposedFor.clear();
    TheSheet().SetNextText(Text(StringId::NextButton));
    return kDecPasswordPg;
}

int DecFilePg::OnWizardNext() {
    OS::Trace t("DecFilePg::OnWizardNext()");
    m_proposedFor.clear();
    if (!FolderAccepted())
        return kVeto;
    // Selection is a flag per entry: a one-entry container holds only entry 0.
    m_context.runner.ClearPlainFiles();
    m_context.runner.SelectPlainFile(0);
    m_context.runner.SetPath(FCryptEng::PathMode::BaseName, folder);
    return kDecProgressPg;
}

std::vector<std::string> DecFilePg::Texts() const {
    return {instruction, Text(StringId::BrowseButton),
            "To begin decrypting your file, click 'Decrypt'."};
}

// ---------------------------------------------------------------------------------------------

DecDestPg::DecDestPg(WizardContext& context)
    : DestinationPage(kDecDestPg, "Choose the destination folder for the decrypted files.",
                      context) {}

void DecDestPg::Browse() {
    OS::Trace t("DecDestPg::Browse()");
    if (auto chosen = m_context.dialogs.ChooseFolder(kBrowseTitle, folder))
        SetFolder(*chosen);
}

void DecDestPg::OnSetActive() {
    OS::Trace t("DecDestPg::OnSetActive()");
    Activate();
}

int DecDestPg::OnWizardBack() {
    TheSheet().SetNextText(Text(StringId::NextButton));
    return kDecFilesPg;
}

int DecDestPg::OnWizardNext() {
    OS::Trace t("DecDestPg::OnWizardNext()");
    if (!FolderAccepted())
        return kVeto;
    m_context.runner.SetPath(
        ignorePaths ? FCryptEng::PathMode::BaseName : FCryptEng::PathMode::Common, folder);
    return kDecProgressPg;
}

std::vector<std::string> DecDestPg::Texts() const {
    return {"Please enter the name of the folder in which to place the decrypted files.",
            Text(StringId::BrowseButton),
            "Do you want to ignore the path information stored with the encrypted files?",
            "Ignore path information", "To begin decrypting your files, click 'Decrypt'."};
}

}  // namespace App
