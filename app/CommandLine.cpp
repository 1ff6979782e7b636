#include "app/CommandLine.h"

#include <cryptopp/misc.h>

#include <cstring>
#include <utility>

#include "os/File.h"
#include "os/Logger.h"

namespace App {

using FCryptEng::InputDeletionMode;

namespace {

// ASCII white space only: these bytes never occur inside a UTF-8 multi-byte sequence, so
// trimming them cannot cut a character.
bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(const std::string& a, size_t from, const char* b) {
    const size_t length = std::strlen(b);
    if (a.size() - from != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        if (Lower(a[from + i]) != b[i])
            return false;
    }
    return true;
}

// One token of lookahead over either form of the command line.
class Tokens {
  public:
    virtual ~Tokens() = default;

    // Reads the next token; nullopt at the end.
    std::optional<std::string> Next() {
        if (m_peeked) {
            std::optional<std::string> token = std::move(*m_peeked);
            m_peeked.reset();
            return token;
        }
        return Read();
    }

    // The next token without consuming it; nullopt at the end.
    const std::optional<std::string>& Peek() {
        if (!m_peeked)
            m_peeked = Read();
        return *m_peeked;
    }

  protected:
    virtual std::optional<std::string> Read() = 0;

  private:
    std::optional<std::optional<std::string>> m_peeked;
};

class ArgvTokens : public Tokens {
  public:
    explicit ArgvTokens(const std::vector<std::string>& argv) : m_argv(argv) {}

  protected:
    std::optional<std::string> Read() override {
        if (m_next >= m_argv.size())
            return std::nullopt;
        return m_argv[m_next++];
    }

  private:
    const std::vector<std::string>& m_argv;
    size_t m_next = 0;
};

class TextTokens : public Tokens {
  public:
    explicit TextTokens(std::string text) : m_remaining(std::move(text)) {}
    ~TextTokens() override { CryptoPP::SecureWipeBuffer(&m_remaining[0], m_remaining.size()); }

  protected:
    std::optional<std::string> Read() override { return NextToken(m_remaining); }

  private:
    std::string m_remaining;
};

// The next token must exist and be a value.
std::string RequiredValue(Tokens& tokens) {
    std::optional<std::string> token = tokens.Next();
    if (!token || OptionIndex(*token) != OPT_VALUE)
        throw WizardParseError();
    return std::move(*token);
}

// Consumed only when it is a value; otherwise left for the next option.
std::optional<std::string> OptionalValue(Tokens& tokens) {
    const std::optional<std::string>& token = tokens.Peek();
    if (!token || OptionIndex(*token) != OPT_VALUE)
        return std::nullopt;
    return tokens.Next();
}

InputDeletionMode DeletionLetter(Tokens& tokens) {
    const std::string letter = RequiredValue(tokens);
    if (letter.size() != 1)
        throw WizardParseError();
    switch (Lower(letter[0])) {
        case 'k':
            return InputDeletionMode::Keep;
        case 'r':
            return InputDeletionMode::Recycle;
        case 'd':
            return InputDeletionMode::Delete;
        case 'o':
            return InputDeletionMode::Overwrite;
        case 'e':
            return InputDeletionMode::Eradicate;
        default:
            throw WizardParseError();
    }
}

// Relative names, with or without a folder part, are taken in the current folder.
std::string FullPath(const std::string& name) {
    // An empty name would stand for the current folder itself, which together with a
    // deletion mode could destroy the whole folder.
    if (name.empty())
        throw WizardParseError();
    if (name[0] == OS::kSeparator)
        return name;
    std::string path = OS::File::GetCurrentPath();
    if (path.empty() || path.back() != OS::kSeparator)
        path += OS::kSeparator;
    return path + name;
}

void DispatchEncryption(int option, Tokens& tokens, CommandLineTarget& target) {
    switch (option) {
        case OPT_C:
            target.EncOutputName(OptionalValue(tokens));
            break;
        case OPT_P:
            target.EncPassword(RequiredValue(tokens));
            break;
        case OPT_I: {
            target.EncAddInput(FullPath(RequiredValue(tokens)));
            while (std::optional<std::string> more = OptionalValue(tokens))
                target.EncAddInput(FullPath(*more));
            break;
        }
        case OPT_X:
            target.EncStandAlone();
            break;
        case OPT_Q:
            target.Quit();
            break;
        case OPT_R:
            target.EncDeletion(DeletionLetter(tokens));
            break;
        case OPT_F:
            target.EncNoConfirm();
            break;
        case OPT_PREFS:
            break;
        default:  // "e", "d", "o", a value
            throw WizardParseError();
    }
}

void DispatchDecryption(int option, Tokens& tokens, CommandLineTarget& target) {
    switch (option) {
        case OPT_C:
            target.DecContainer(RequiredValue(tokens));
            break;
        case OPT_P:
            target.DecPassword(RequiredValue(tokens));
            break;
        case OPT_O:
            target.DecOutputFolder(OptionalValue(tokens));
            break;
        case OPT_Q:
            target.Quit();
            break;
        case OPT_R:
            target.DecDeletion(DeletionLetter(tokens));
            break;
        case OPT_F:
            target.DecNoConfirm();
            break;
        case OPT_PREFS:
            break;
        default:  // "e", "d", "i", "x", a value
            throw WizardParseError();
    }
}

StartMode Process(Tokens& tokens, CommandLineTarget& target, MessageBoxes& boxes) {
    OS::Trace t("Wizard::ProcessCommandLine()");
    try {
        tokens.Next();  // the program itself
        const std::optional<std::string> first = tokens.Next();
        if (!first)
            return StartMode::Wizard;
        const int mode = OptionIndex(*first);
        if (mode == OPT_PREFS) {
            // Whatever follows is never read.
            target.ShowPreferences();
            return StartMode::Preferences;
        }
        if (mode == OPT_E)
            target.SetEncrypt();
        else if (mode == OPT_D)
            target.SetDecrypt();
        else
            throw WizardParseError();
        while (const std::optional<std::string> token = tokens.Next()) {
            if (mode == OPT_E)
                DispatchEncryption(OptionIndex(*token), tokens, target);
            else
                DispatchDecryption(OptionIndex(*token), tokens, target);
        }
        return StartMode::Wizard;
    } catch (const WizardParseError&) {
        OS::Logger::Log(OS::LOG_ERROR, "Invalid command line");
        boxes.Show(kUsageText, kUsageCaption, MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok,
                   MessageBoxes::Answer::Ok);
        return StartMode::Invalid;
    }
}

}  // namespace

std::optional<std::string> NextToken(std::string& remaining) {
    size_t begin = 0;
    size_t end = remaining.size();
    while (begin < end && IsSpace(remaining[begin]))
        ++begin;
    while (end > begin && IsSpace(remaining[end - 1]))
        --end;
    remaining = remaining.substr(begin, end - begin);
    if (remaining.empty())
        return std::nullopt;

    if (remaining[0] == '"') {
        const size_t close = remaining.find('"', 1);
        if (close == std::string::npos)
            throw WizardParseError();
        std::string token = remaining.substr(1, close - 1);
        // The closing quote and the one character after it are dropped.
        remaining = close + 2 < remaining.size() ? remaining.substr(close + 2) : std::string();
        return token;
    }

    const size_t space = remaining.find(' ', 1);
    if (space == std::string::npos) {
        std::string token;
        token.swap(remaining);
        return token;
    }
    std::string token = remaining.substr(0, space);
    remaining = remaining.substr(space + 1);
    return token;
}

int OptionIndex(const std::string& token) {
    static const char* const kNames[] = {"e", "d", "c", "p", "o", "i", "x", "q", "prefs", "r", "f"};
    if (token.empty() || (token[0] != '/' && token[0] != '-'))
        return OPT_VALUE;
    for (int i = 0; i < OPT_VALUE; ++i) {
        if (EqualsIgnoringCase(token, 1, kNames[i]))
            return i;
    }
    return OPT_VALUE;
}

void PagesValues::Keep(CryptoPP::SecByteBlock& block, std::string& password) {
    block.New(password.size() + 1);
    std::memcpy(block.data(), password.data(), password.size());
    block[password.size()] = 0;
    CryptoPP::SecureWipeBuffer(&password[0], password.size());
}

void PagesValues::EncOutputName(std::optional<std::string> name) {
    if (encOutputFromCommandLine)
        throw WizardParseError();
    encOutputFromCommandLine = true;
    encDefaultOutputWanted = !name;
    encOutputName = name ? std::move(*name) : std::string();
}

void PagesValues::EncPassword(std::string password) {
    if (encPasswordFromCommandLine)
        throw WizardParseError();
    encPasswordFromCommandLine = true;
    Keep(m_encPassword, password);
}

void PagesValues::DecContainer(std::string name) {
    if (decContainerFromCommandLine)
        throw WizardParseError();
    decContainerFromCommandLine = true;
    decContainer = std::move(name);
}

void PagesValues::DecPassword(std::string password) {
    if (decPasswordFromCommandLine)
        throw WizardParseError();
    decPasswordFromCommandLine = true;
    Keep(m_decPassword, password);
}

void PagesValues::DecOutputFolder(std::optional<std::string> folder) {
    if (decOutputFromCommandLine)
        throw WizardParseError();
    decOutputFromCommandLine = true;
    decOutputFolder = folder ? std::move(*folder) : std::string();
}

StartMode ProcessCommandLine(const std::vector<std::string>& argv, CommandLineTarget& target,
                             MessageBoxes& boxes) {
    ArgvTokens tokens(argv);
    return Process(tokens, target, boxes);
}

StartMode ProcessCommandLine(const std::string& commandLine, CommandLineTarget& target,
                             MessageBoxes& boxes) {
    TextTokens tokens(commandLine);
    return Process(tokens, target, boxes);
}

}  // namespace App
