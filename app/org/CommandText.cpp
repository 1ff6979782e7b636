#include <cstring>

#include "app/core/Options.h"
#include "app/org/Command.h"

namespace Org {

namespace {

constexpr std::size_t kWidth = 80;
// --help indents each usage line by two columns.
constexpr std::size_t kUsageIndent = 2;
constexpr std::size_t kOptionColumn = 21;

}  // namespace

std::string OptionSynopsis(const OrgOption& option) {
    if (!option.spelling)
        return option.valueName;
    std::string text = option.spelling;
    if (*option.valueName)
        text += std::string(" ") + option.valueName;
    return text;
}

bool SameOption(const OrgOption& a, const OrgOption& b) {
    if (!a.spelling || !b.spelling)
        return !a.spelling && !b.spelling;
    return std::strcmp(a.spelling, b.spelling) == 0;
}

std::string Command::Usage() const {
    const std::vector<OrgOption> options = Options();
    const std::string name = Name();
    std::string out;
    std::string line = name;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const bool required = options[i].flags & kRequired;
        std::string group = OptionSynopsis(options[i]);
        while ((options[i].flags & kOrNext) && i + 1 < options.size())
            group += " | " + OptionSynopsis(options[++i]);
        if (!required)
            group = "[" + group + "]";
        if (kUsageIndent + line.size() + 1 + group.size() > kWidth) {
            out += line + "\n";
            line.assign(name.size(), ' ');
        }
        line += " " + group;
    }
    return out + line;
}

std::string Command::Description() const {
    std::string text = App::HangingIndent("", Summary(), 4, kWidth);
    for (const OrgOption& option : Options())
        if (*option.help)
            text += App::HangingIndent(
                "    " + std::string(option.spelling ? option.spelling : option.valueName),
                option.help, kOptionColumn, kWidth);
    return text;
}

}  // namespace Org
