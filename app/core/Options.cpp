#include "app/core/Options.h"

#include "app/core/Texts.h"

namespace App {

namespace {

constexpr std::size_t kHelpColumn = 24;

}  // namespace

std::string HangingIndent(std::string head, std::string_view text, std::size_t column,
                          std::size_t width) {
    std::string out;
    if (head.size() + 1 > column) {
        out += head + "\n";
        head.clear();
    }
    head.resize(column, ' ');
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.size();
        if (column + (end - at) > width) {
            const std::size_t room = width > column ? width - column : 0;
            const std::size_t space = text.rfind(' ', at + room);
            // A word longer than the room stays whole.
            end = space != std::string_view::npos && space > at ? space : text.find(' ', at);
            if (end == std::string_view::npos)
                end = text.size();
        }
        out += head;
        out += text.substr(at, end - at);
        out += "\n";
        head.assign(column, ' ');
        at = end < text.size() ? end + 1 : end;
    }
    return out;
}

ExitStatus ReportUsage(std::ostream& err, const std::string& program, const std::string& why) {
    err << program << ": " << EscapeControls(why) << "\n"
        << "Try '" << program << " --help' for more information.\n";
    return ExitStatus::InvalidCommandLine;
}

const OptionRow* FindOption(std::string_view word, OptionPlace place) {
    for (const OptionRow& row : kOptions)
        if ((row.accepts & place) && (word == row.spelling || (row.alias && word == row.alias)))
            return &row;
    return nullptr;
}

const OptionRow* FindOption(Option option, OptionPlace place) {
    for (const OptionRow& row : kOptions)
        if ((row.accepts & place) && row.option == option)
            return &row;
    return nullptr;
}

std::string OptionSynopsis(const OptionRow& row) {
    std::string text = row.spelling;
    switch (row.value) {
        case OptionValue::None:
            break;
        case OptionValue::Optional:
            text += std::string(" [") + row.valueName + "]";
            break;
        case OptionValue::Required:
            text += std::string(" ") + row.valueName;
            break;
        case OptionValue::OneOrMore:
            text += std::string(" ") + row.valueName + "...";
            break;
    }
    return text;
}

std::string OptionHelp(unsigned places, std::size_t width) {
    std::string out;
    for (const OptionRow& row : kOptions) {
        if (!(row.accepts & places))
            continue;
        std::string head = "  " + OptionSynopsis(row);
        if (row.alias)
            head += std::string(", ") + row.alias;
        out += HangingIndent(head, row.help, kHelpColumn, width);
    }
    return out;
}

}  // namespace App
