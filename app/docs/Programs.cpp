#include <algorithm>
#include <memory>

#include "app/core/Options.h"
#include "app/docs/Docs.h"
#include "app/org/Command.h"

namespace Docs {

namespace {

// "PATH", or a name ending in "_PATH" such as "DATA_RECOVERY_PATH".
bool Names(const std::string& token, const std::string& kind) {
    return token == kind ||
           (token.size() > kind.size() + 1 &&
            token.compare(token.size() - kind.size() - 1, kind.size() + 1, "_" + kind) == 0);
}

Value ValueOf(std::string token) {
    Value value;
    if (token.size() > 3 && token.compare(token.size() - 3, 3, "...") == 0) {
        value.repeats = true;
        token.resize(token.size() - 3);
    }
    value.name = token;
    if (token.find('|') != std::string::npos) {
        value.kind = Kind::Words;
        std::size_t at = 0;
        for (;;) {
            const std::size_t bar = token.find('|', at);
            value.words.push_back(token.substr(at, bar - at));
            if (bar == std::string::npos)
                break;
            at = bar + 1;
        }
    } else if (Names(token, "FILE") || Names(token, "PATH")) {
        value.kind = Kind::Files;
    } else if (Names(token, "FOLDER")) {
        value.kind = Kind::Folders;
    }
    return value;
}

}  // namespace

Word CryvanWord(const App::OptionRow& row) {
    Word word;
    word.spelling = row.spelling;
    word.alias = row.alias ? row.alias : "";
    word.help = row.help;
    word.values = ValuesOf(row.valueName, row.value == App::OptionValue::OneOrMore);
    word.optional = row.value == App::OptionValue::Optional;
    return word;
}

std::vector<Value> ValuesOf(std::string_view valueName, bool repeatLast) {
    std::vector<Value> values;
    std::size_t at = 0;
    while (at < valueName.size()) {
        std::size_t end = valueName.find(' ', at);
        if (end == std::string_view::npos)
            end = valueName.size();
        if (end > at)
            values.push_back(ValueOf(std::string(valueName.substr(at, end - at))));
        at = end + 1;
    }
    if (repeatLast && !values.empty())
        values.back().repeats = true;
    return values;
}

Program CryvanProgram() {
    Program program{"cryvan", {{"front", {}, {}}, {"encryption", {}, {}}, {"decryption", {}, {}}}};
    Place& front = program.places[0];
    for (const App::OptionRow& row : App::kOptions) {
        if (row.accepts & App::kFrontEnd)
            front.words.push_back(CryvanWord(row));
        if (row.accepts & App::kEncryption)
            program.places[1].words.push_back(CryvanWord(row));
        if (row.accepts & App::kDecryption)
            program.places[2].words.push_back(CryvanWord(row));
    }
    // The wizard's first word decides which words follow it.
    for (const App::OptionRow& row : App::kOptions) {
        if (!(row.accepts & App::kFirstWord))
            continue;
        Word word = CryvanWord(row);
        word.switches = true;
        if (row.option == App::Option::Encrypt)
            word.next = "encryption";
        else if (row.option == App::Option::Decrypt)
            word.next = "decryption";
        front.words.push_back(word);
    }
    return program;
}

Program OrgProgram() {
    Program program{"cryvan-org", {{"front", {}, {}}}};
    for (const std::unique_ptr<Org::Command>& command : Org::Commands()) {
        Word word;
        word.spelling = command->Name();
        word.help = command->Summary();
        word.switches = true;
        word.next = command->Name();
        program.places[0].words.push_back(word);
        Place place{command->Name(), {}, {}};
        for (const Org::OrgOption& option : command->Options()) {
            if (!option.spelling) {
                place.operand = ValuesOf(option.valueName, false);
                continue;
            }
            Word optionWord;
            optionWord.spelling = option.spelling;
            optionWord.help = option.help;
            optionWord.values = ValuesOf(option.valueName, false);
            place.words.push_back(optionWord);
        }
        program.places.push_back(place);
    }
    for (const char* help : {"help", "--help", "-h"}) {
        Word word;
        word.spelling = help;
        word.help = "the commands, their options and the exit statuses";
        word.switches = true;
        program.places[0].words.push_back(word);
    }
    return program;
}

std::string ShortHelp(std::string_view help) {
    constexpr std::size_t kMost = 60;
    std::size_t end = help.size();
    for (const std::string_view stop :
         {std::string_view("; "), std::string_view(". "), std::string_view(": "),
          std::string_view(", so "), std::string_view(" (")})
        end = std::min(end, help.find(stop));
    // A long first clause ends at its last comma, or word, that fits.
    if (end > kMost) {
        const std::size_t comma = help.rfind(", ", kMost);
        end = comma != std::string_view::npos ? comma : help.rfind(' ', kMost);
    }
    std::string text(help.substr(0, end));
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

}  // namespace Docs
