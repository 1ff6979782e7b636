#include "app/wizard/CommandLine.h"

#include <utility>

#include "os/File.h"
#include "os/Logger.h"

namespace App {

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

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

// One token of lookahead over either form of the command line. Tokens are views into the text
// the command line came as, so a password is copied only into wiping memory.
class Tokens {
  public:
    virtual ~Tokens() = default;

    // Reads the next token; nullopt at the end.
    std::optional<std::string_view> Next() {
        std::optional<std::string_view> token;
        if (m_peeked) {
            token = *m_peeked;
            m_peeked.reset();
        } else {
            token = Read();
        }
        if (token) {
            // A view only: a password read here is never copied.
            m_last = *token;
            m_lastHidden = false;
        } else {
            m_ended = true;
        }
        return token;
    }

    // Which argument a parse failure is about, for the user: the one read last, or, when the
    // words ran out, the option that wanted a value. A password is never repeated.
    std::string Fault() const {
        if (m_last.empty())
            return "the command line";
        const std::string word =
            m_lastHidden ? std::string("the password") : "'" + std::string(m_last) + "'";
        return m_ended ? word + " needs a value after it" : word + " is not valid there";
    }

    // The next token without consuming it; nullopt at the end.
    const std::optional<std::string_view>& Peek() {
        if (!m_peeked)
            m_peeked = Read();
        return *m_peeked;
    }

    // The token read last held a password: overwrite it where others can read it.
    void HideLastToken() {
        m_lastHidden = true;
        HideLast();
    }

  protected:
    virtual void HideLast() {}
    virtual std::optional<std::string_view> Read() = 0;

  private:
    std::optional<std::optional<std::string_view>> m_peeked;
    std::string_view m_last;  // into the arguments, which outlive the parse
    bool m_lastHidden = false;
    bool m_ended = false;
};

class ArgvTokens : public Tokens {
  public:
    explicit ArgvTokens(const Arguments& argv) : m_argv(argv) {}

    void HideLast() override {
        if (m_last < m_argv.size())
            m_argv.Hide(m_last);
    }

  protected:
    std::optional<std::string_view> Read() override {
        if (m_next >= m_argv.size())
            return std::nullopt;
        m_last = m_next;
        return m_argv[m_next++];
    }

  private:
    const Arguments& m_argv;
    size_t m_next = 0;
    size_t m_last = size_t(-1);
};

class TextTokens : public Tokens {
  public:
    explicit TextTokens(std::string text) : m_text(std::move(text)), m_remaining(m_text) {}
    ~TextTokens() override { WipeString(m_text); }
    TextTokens(const TextTokens&) = delete;
    TextTokens& operator=(const TextTokens&) = delete;

  protected:
    std::optional<std::string_view> Read() override { return NextToken(m_remaining); }

  private:
    std::string m_text;
    std::string_view m_remaining;
};

// The next token must exist and be a value.
std::string_view RequiredView(Tokens& tokens) {
    const std::optional<std::string_view> token = tokens.Next();
    if (!token || OptionIndex(*token) != OPT_VALUE)
        throw WizardParseError();
    return *token;
}

std::string RequiredValue(Tokens& tokens) {
    return std::string(RequiredView(tokens));
}

// A password: copied into wiping memory, then overwritten where it was read.
Secret RequiredSecret(Tokens& tokens) {
    const std::string_view value = RequiredView(tokens);
    Secret password(value, value.size());
    tokens.HideLastToken();
    return password;
}

// Consumed only when it is a value; otherwise left for the next option.
std::optional<std::string> OptionalValue(Tokens& tokens) {
    const std::optional<std::string_view>& token = tokens.Peek();
    if (!token || OptionIndex(*token) != OPT_VALUE)
        return std::nullopt;
    return std::string(*tokens.Next());
}

// The value the option's row in `place` takes; an option the place does not accept is invalid.
std::optional<std::string> ValueOf(int option, OptionPlace place, Tokens& tokens) {
    const OptionRow* row = FindOption(static_cast<Option>(option), place);
    if (!row)
        throw WizardParseError();
    if (row->value == OptionValue::Optional)
        return OptionalValue(tokens);
    return RequiredValue(tokens);
}

// Words the place's rows do not accept, and values, are invalid there.
void Accepted(int option, OptionPlace place) {
    if (option == OPT_VALUE || !FindOption(static_cast<Option>(option), place))
        throw WizardParseError();
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

OperationRunner::Platform PlatformName(Tokens& tokens) {
    const std::string name = RequiredValue(tokens);
    if (EqualsIgnoringCase(name, "windows"))
        return OperationRunner::Platform::Windows;
    if (EqualsIgnoringCase(name, "linux"))
        return OperationRunner::Platform::Linux;
    throw WizardParseError();
}

void DispatchEncryption(int option, Tokens& tokens, CommandLineTarget& target) {
    Accepted(option, kEncryption);
    switch (option) {
        case OPT_C:
            target.EncOutputName(ValueOf(option, kEncryption, tokens));
            break;
        case OPT_P:
            target.EncPassword(RequiredSecret(tokens));
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
        case OPT_SFX_PLATFORM:
            target.EncStandAlonePlatform(PlatformName(tokens));
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
        default:
            throw WizardParseError();
    }
}

void DispatchDecryption(int option, Tokens& tokens, CommandLineTarget& target) {
    Accepted(option, kDecryption);
    switch (option) {
        case OPT_C:
            target.DecContainer(*ValueOf(option, kDecryption, tokens));
            break;
        case OPT_P:
            target.DecPassword(RequiredSecret(tokens));
            break;
        case OPT_O:
            target.DecOutputFolder(ValueOf(option, kDecryption, tokens));
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
        default:
            throw WizardParseError();
    }
}

StartMode Process(Tokens& tokens, CommandLineTarget& target, MessageBoxes& boxes) {
    OS::Trace t("Wizard::ProcessCommandLine()");
    try {
        tokens.Next();  // the program itself
        const std::optional<std::string_view> first = tokens.Next();
        if (!first)
            return StartMode::Wizard;
        const int mode = OptionIndex(*first);
        Accepted(mode, kFirstWord);
        if (mode == OPT_PREFS) {
            // Whatever follows is never read.
            target.ShowPreferences();
            return StartMode::Preferences;
        }
        if (mode == OPT_E)
            target.SetEncrypt();
        else
            target.SetDecrypt();
        while (const std::optional<std::string_view> token = tokens.Next()) {
            if (mode == OPT_E)
                DispatchEncryption(OptionIndex(*token), tokens, target);
            else
                DispatchDecryption(OptionIndex(*token), tokens, target);
        }
        return StartMode::Wizard;
    } catch (const WizardParseError&) {
        OS::Logger::Log(OS::LOG_ERROR, "Invalid command line");
        target.Invalid(tokens.Fault());
        boxes.Show(kUsageText, kUsageCaption, MessageBoxes::Icon::Error, MessageBoxes::Buttons::Ok,
                   MessageBoxes::Answer::Ok);
        return StartMode::Invalid;
    }
}

}  // namespace

std::optional<std::string_view> NextToken(std::string_view& remaining) {
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
        if (close == std::string_view::npos)
            throw WizardParseError();
        const std::string_view token = remaining.substr(1, close - 1);
        // The closing quote and the one character after it are dropped.
        remaining = close + 2 < remaining.size() ? remaining.substr(close + 2) : std::string_view();
        return token;
    }

    const size_t space = remaining.find(' ', 1);
    if (space == std::string_view::npos) {
        const std::string_view token = remaining;
        remaining = std::string_view();
        return token;
    }
    const std::string_view token = remaining.substr(0, space);
    remaining = remaining.substr(space + 1);
    return token;
}

std::optional<std::string> NextToken(std::string& remaining) {
    std::string_view rest(remaining);
    const std::optional<std::string_view> token = NextToken(rest);
    std::optional<std::string> result;
    if (token)
        result.emplace(*token);
    remaining = std::string(rest);
    return result;
}

int OptionIndex(std::string_view token) {
    if (token.empty() || (token[0] != '/' && token[0] != '-'))
        return OPT_VALUE;
    for (const OptionRow& row : kOptions) {
        if ((row.accepts & (kFirstWord | kEncryption | kDecryption)) &&
            EqualsIgnoringCase(token.substr(1), row.spelling + 1))
            return static_cast<int>(row.option);
    }
    return OPT_VALUE;
}

void PagesValues::EncOutputName(std::optional<std::string> name) {
    if (encOutputFromCommandLine)
        throw WizardParseError();
    encOutputFromCommandLine = true;
    encDefaultOutputWanted = !name;
    encOutputName = name ? std::move(*name) : std::string();
}

void PagesValues::EncStandAlonePlatform(OperationRunner::Platform platform) {
    if (encPlatform)
        throw WizardParseError();
    encPlatform = platform;
    // Only an executable has a system to run on.
    encStandAlone = true;
}

void PagesValues::EncPassword(const Secret& password) {
    if (encPasswordFromCommandLine)
        throw WizardParseError();
    encPasswordFromCommandLine = true;
    m_encPassword = password;
}

void PagesValues::DecContainer(std::string name) {
    if (decContainerFromCommandLine)
        throw WizardParseError();
    decContainerFromCommandLine = true;
    decContainer = std::move(name);
}

void PagesValues::DecPassword(const Secret& password) {
    if (decPasswordFromCommandLine)
        throw WizardParseError();
    decPasswordFromCommandLine = true;
    m_decPassword = password;
}

void PagesValues::DecOutputFolder(std::optional<std::string> folder) {
    if (decOutputFromCommandLine)
        throw WizardParseError();
    decOutputFromCommandLine = true;
    decOutputFolder = folder ? std::move(*folder) : std::string();
}

StartMode ProcessCommandLine(const Arguments& argv, CommandLineTarget& target,
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
