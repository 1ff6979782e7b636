#include <set>

#include "app/docs/Docs.h"

namespace Docs {

namespace {

// Every script walks the words before the cursor the same way: an option's values are taken
// (a required one whatever it is, later ones while they are no option), a word that moves on
// changes the place, and the word under the cursor is then a value, an operand or an option.
// The scripts only differ in their shell's words for that; what each option takes is data.

std::string Identifier(const std::string& name) {
    std::string id = "_" + name;
    for (char& c : id)
        if (c == '-')
            c = '_';
    return id;
}

// 'text' for bash and zsh.
std::string ShQuote(std::string_view text) {
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// 'text' for fish.
std::string FishQuote(std::string_view text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "'";
}

std::string KindCode(const Value& value) {
    std::string code;
    switch (value.kind) {
        case Kind::Nothing:
            code = "none";
            break;
        case Kind::Files:
            code = "files";
            break;
        case Kind::Folders:
            code = "folders";
            break;
        case Kind::Words:
            code = "words=";
            for (std::size_t i = 0; i < value.words.size(); ++i)
                code += (i ? "|" : "") + value.words[i];
            break;
    }
    return value.repeats ? code + "..." : code;
}

// "required files", "optional words=k|d": what an option takes, quoted by `quote`.
template <typename Quote>
std::string ValueTakes(const Word& word, Quote quote) {
    std::string takes = word.optional ? "optional" : "required";
    for (const Value& value : word.values)
        takes += " " + quote(KindCode(value));
    return takes;
}

std::string NextPlace(const Word& word) {
    return word.next.empty() ? "end" : word.next;
}

bool IsOption(const std::string& spelling) {
    return !spelling.empty() && spelling[0] == '-';
}

std::vector<std::string> Spellings(const Word& word) {
    std::vector<std::string> spellings{word.spelling};
    if (!word.alias.empty())
        spellings.push_back(word.alias);
    return spellings;
}

}  // namespace

namespace {

// A shell function `<f><suffix>` that sets <f>_reply from "PLACE WORD": for "_next" the place the
// words after a switching word belong to, for "_values" what the option takes (ValueTakes).
// Bash and zsh read both alike.
std::string PlaceAndWordCases(const Program& program, const std::string& f, const char* suffix) {
    const bool next = std::string(suffix) == "_next";
    std::string s = f + suffix + "() {\n    case \"$1 $2\" in\n";
    for (const Place& place : program.places)
        for (const Word& word : place.words) {
            if (next ? !word.switches : word.values.empty())
                continue;
            for (const std::string& spelling : Spellings(word))
                s += "    " + ShQuote(place.name + " " + spelling) + ") " + f + "_reply=(" +
                     (next ? ShQuote(NextPlace(word)) : ValueTakes(word, ShQuote)) + ") ;;\n";
        }
    return s + "    *) " + f + "_reply=() ;;\n    esac\n}\n\n";
}

}  // namespace

std::string BashCompletion(const Program& program) {
    const std::string f = Identifier(program.name);
    std::string s = "# bash completion for " + program.name +
                    ", made by cryvan-make-docs from the program's option table.\n\n";

    s += "# The words offered at a place.\n" + f + "_words() {\n    case $1 in\n";
    for (const Place& place : program.places) {
        s += "    " + ShQuote(place.name) + ") " + f + "_reply=(";
        bool first = true;
        for (const Word& word : place.words)
            for (const std::string& spelling : Spellings(word)) {
                s += (first ? "" : " ") + ShQuote(spelling);
                first = false;
            }
        s += ") ;;\n";
    }
    s += "    *) " + f + "_reply=() ;;\n    esac\n}\n\n";

    s += "# The place the words after a word belong to, when it moves on.\n" +
         PlaceAndWordCases(program, f, "_next");
    s += "# What an option takes at a place: required or optional, then the kind of each value\n"
         "# (files, folders, none, words=a|b); a last kind ending in ... repeats.\n" +
         PlaceAndWordCases(program, f, "_values");

    s += "# The kinds of the words that are no option, in order.\n" + f +
         "_operand() {\n    case $1 in\n";
    for (const Place& place : program.places)
        if (!place.operand.empty()) {
            s += "    " + ShQuote(place.name) + ") " + f + "_reply=(";
            for (std::size_t i = 0; i < place.operand.size(); ++i)
                s += (i ? " " : "") + ShQuote(KindCode(place.operand[i]));
            s += ") ;;\n";
        }
    s += "    *) " + f + "_reply=() ;;\n    esac\n}\n\n";

    s += f + R"(_kind() {
    case $1 in
    files)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$2")
        ;;
    folders)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$2")
        ;;
    words=*)
        local words=${1#words=}
        mapfile -t COMPREPLY < <(compgen -W "${words//|/ }" -- "$2")
        ;;
    *) COMPREPLY=() ;;
    esac
}

)" + f + R"(() {
    local cur=${COMP_WORDS[COMP_CWORD]} place=front word i required=0 operands=0
    local -a pending=() )" +
         f + R"(_reply=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if ((${#pending[@]})); then
            if [[ $word != -* ]] || ((required)); then
                required=0
                [[ ${pending[0]} == *... ]] || pending=("${pending[@]:1}")
                continue
            fi
            pending=()
        fi
        )" +
         f + R"(_next "$place" "$word"
        if ((${#)" +
         f + R"(_reply[@]})); then
            place=${)" +
         f + R"(_reply[0]}
            operands=0
            continue
        fi
        )" +
         f + R"(_values "$place" "$word"
        if ((${#)" +
         f + R"(_reply[@]})); then
            [[ ${)" +
         f + R"(_reply[0]} == required ]] && required=1 || required=0
            pending=("${)" +
         f + R"(_reply[@]:1}")
        elif [[ $word != -* ]]; then
            operands=$((operands + 1))
        fi
    done
    if ((${#pending[@]})) && { [[ $cur != -* ]] || ((required)); }; then
        )" +
         f + R"(_kind "${pending[0]%...}" "$cur"
        return
    fi
    if [[ $cur != -* ]]; then
        )" +
         f + R"(_operand "$place"
        local -a kinds=("${)" +
         f + R"(_reply[@]}")
        if ((operands < ${#kinds[@]})); then
            )" +
         f + R"(_kind "${kinds[operands]%...}" "$cur"
            return
        elif ((${#kinds[@]})) && [[ ${kinds[-1]} == *... ]]; then
            )" +
         f + R"(_kind "${kinds[-1]%...}" "$cur"
            return
        fi
    fi
    )" + f +
         R"(_words "$place"
    mapfile -t COMPREPLY < <(compgen -W "${)" +
         f + R"(_reply[*]}" -- "$cur")
}

complete -F )" +
         f + " " + program.name + "\n";
    return s;
}

namespace {

std::string ZshDescription(std::string_view help) {
    std::string out;
    for (const char c : ShortHelp(help)) {
        if (c == '[' || c == ']' || c == ':' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

std::string ZshAction(const Value& value) {
    switch (value.kind) {
        case Kind::Files:
            return "_files";
        case Kind::Folders:
            return "_files -/";
        case Kind::Words: {
            std::string action = "(";
            for (std::size_t i = 0; i < value.words.size(); ++i)
                action += (i ? " " : "") + value.words[i];
            return action + ")";
        }
        case Kind::Nothing:
            break;
    }
    return " ";
}

// ":NAME:ACTION" with the colons of the name escaped.
std::string ZshValue(const Value& value, bool optional) {
    std::string name;
    for (const char c : value.name) {
        if (c == ':' || c == '\\')
            name += '\\';
        name += c;
    }
    return std::string(optional ? "::" : ":") + name + ":" + ZshAction(value);
}

}  // namespace

std::string ZshCompletion(const Program& program) {
    const std::string f = Identifier(program.name);
    std::string s = "#compdef " + program.name + "\n# zsh completion for " + program.name +
                    ", made by cryvan-make-docs from the program's option table.\n\n";

    // The walk finds the place the cursor is in; _arguments then completes within it.
    s += PlaceAndWordCases(program, f, "_next") + PlaceAndWordCases(program, f, "_values");

    s += f + R"(() {
    local place=front start=1 i word required=0
    local -a pending )" +
         f + R"(_reply
    for ((i = 2; i < CURRENT; i++)); do
        word=$words[i]
        if (($#pending)); then
            if [[ $word != -* ]] || ((required)); then
                required=0
                [[ $pending[1] == *... ]] || shift pending
                continue
            fi
            pending=()
        fi
        )" +
         f + R"(_next "$place" "$word"
        if (($#)" +
         f + R"(_reply)); then
            place=$)" +
         f + R"(_reply[1]
            start=$i
            continue
        fi
        )" +
         f + R"(_values "$place" "$word"
        if (($#)" +
         f + R"(_reply)); then
            [[ $)" +
         f + R"(_reply[1] == required ]] && required=1 || required=0
            pending=("${(@))" +
         f + R"(_reply[2,-1]}")
        fi
    done
    words=("$words[1]" "${(@)words[start+1,-1]}")
    ((CURRENT -= start - 1))
    case $place in
)";
    for (const Place& place : program.places) {
        std::vector<std::string> arguments;
        std::vector<std::string> commands;
        std::set<std::string> rest;
        for (const Word& word : place.words) {
            if (!IsOption(word.spelling)) {
                commands.push_back(word.spelling);
                continue;
            }
            for (const std::string& spelling : Spellings(word)) {
                std::string argument = spelling + "[" + ZshDescription(word.help) + "]";
                for (std::size_t i = 0; i < word.values.size(); ++i) {
                    argument += ZshValue(word.values[i], i == 0 && word.optional);
                    // Words that follow a repeating value are taken by the rest below.
                    if (word.values[i].repeats)
                        rest.insert(ZshValue(word.values[i], false));
                }
                arguments.push_back(argument);
            }
        }
        if (!commands.empty()) {
            std::string argument = "1:command:(";
            for (std::size_t i = 0; i < commands.size(); ++i)
                argument += (i ? " " : "") + commands[i];
            arguments.push_back(argument + ")");
        }
        for (std::size_t i = 0; i < place.operand.size(); ++i) {
            if (place.operand[i].repeats)
                rest.insert(ZshValue(place.operand[i], false));
            else
                arguments.push_back(std::to_string(i + 1) + ZshValue(place.operand[i], true));
        }
        for (const std::string& argument : rest)
            arguments.push_back("*" + argument);
        s += "    " + ShQuote(place.name) + ")\n        _arguments :";
        for (const std::string& argument : arguments)
            s += " \\\n            " + ShQuote(argument);
        s += "\n        ;;\n";
    }
    s += "    *) _message 'no more arguments' ;;\n    esac\n}\n\n" + f + " \"$@\"\n";
    return s;
}

std::string FishCompletion(const Program& program) {
    const std::string f = "_" + Identifier(program.name);
    std::string s = "# fish completion for " + program.name +
                    ", made by cryvan-make-docs from the program's option table.\n\n";

    s += "function " + f + "_next --argument-names place word\n    switch \"$place $word\"\n";
    for (const Place& place : program.places)
        for (const Word& word : place.words)
            if (word.switches)
                for (const std::string& spelling : Spellings(word))
                    s += "        case " + FishQuote(place.name + " " + spelling) +
                         "\n            echo " + FishQuote(NextPlace(word)) + "\n";
    s += "    end\nend\n\n";

    s += "# What an option takes at a place: required or optional, then the kind of each value.\n"
         "function " +
         f + "_values --argument-names place word\n    switch \"$place $word\"\n";
    for (const Place& place : program.places)
        for (const Word& word : place.words)
            if (!word.values.empty())
                for (const std::string& spelling : Spellings(word))
                    s += "        case " + FishQuote(place.name + " " + spelling) +
                         "\n            printf '%s\\n' " + ValueTakes(word, FishQuote) + "\n";
    s += "    end\nend\n\n";

    s += "function " + f + "_operand --argument-names place\n    switch $place\n";
    for (const Place& place : program.places)
        if (!place.operand.empty()) {
            s += "        case " + FishQuote(place.name) + "\n            printf '%s\\n'";
            for (const Value& value : place.operand)
                s += " " + FishQuote(KindCode(value));
            s += "\n";
        }
    s += "    end\nend\n\n";

    s += "# The place the command line has reached, or \"value KIND\" for the word being typed.\n"
         "function " +
         f + R"(_state
    set -l tokens (commandline -opc)
    set -e tokens[1]
    set -l place front
    set -l pending
    set -l required 0
    set -l operands 0
    for word in $tokens
        if set -q pending[1]
            if not string match -q -- '-*' "$word"; or test $required = 1
                set required 0
                string match -q -- '*...' $pending[1]; or set -e pending[1]
                continue
            end
            set pending
        end
        set -l next ()" +
         f + R"(_next $place "$word")
        if test -n "$next"
            set place $next
            set operands 0
            continue
        end
        set -l takes ()" +
         f + R"(_values $place "$word")
        if set -q takes[1]
            if test $takes[1] = required
                set required 1
            else
                set required 0
            end
            set -e takes[1]
            set pending $takes
        else if not string match -q -- '-*' "$word"
            set operands (math $operands + 1)
        end
    end
    set -l cur (commandline -ct)
    if set -q pending[1]
        if not string match -q -- '-*' "$cur"; or test $required = 1
            echo value (string replace -- '...' '' $pending[1])
            return
        end
    end
    if not string match -q -- '-*' "$cur"
        set -l kinds ()" +
         f + R"(_operand $place)
        set -l n (math $operands + 1)
        if set -q kinds[$n]
            echo value (string replace -- '...' '' $kinds[$n])
            return
        else if set -q kinds[1]; and string match -q -- '*...' $kinds[-1]
            echo value (string replace -- '...' '' $kinds[-1])
            return
        end
    end
    echo $place
end

function )" +
         f +
         R"(_is
    set -l state ()" +
         f +
         R"(_state)
    test "$state" = "$argv"
end

complete -c )" +
         program.name + " -f\n";
    // The kinds of value, each once: a repeating one completes like a single one.
    std::set<std::string> kinds;
    const auto addKind = [&kinds](const Value& value) {
        Value single = value;
        single.repeats = false;
        kinds.insert(KindCode(single));
    };
    for (const Place& place : program.places) {
        for (const Word& word : place.words) {
            for (const Value& value : word.values)
                addKind(value);
            for (const std::string& spelling : Spellings(word)) {
                std::string flag;
                if (spelling.compare(0, 2, "--") == 0)
                    flag = "-l " + FishQuote(spelling.substr(2));
                else if (IsOption(spelling) && spelling.size() == 2)
                    flag = "-s " + FishQuote(spelling.substr(1));
                else if (IsOption(spelling))
                    flag = "-o " + FishQuote(spelling.substr(1));
                else
                    flag = "-a " + FishQuote(spelling);
                s += "complete -c " + program.name + " -n " + FishQuote(f + "_is " + place.name) +
                     " " + flag + " -d " + FishQuote(ShortHelp(word.help)) + "\n";
            }
        }
        for (const Value& value : place.operand)
            addKind(value);
    }
    for (const std::string& kind : kinds) {
        const std::string condition = FishQuote(f + "_is value \"" + kind + "\"");
        if (kind == "files")
            s += "complete -c " + program.name + " -n " + condition + " -F\n";
        else if (kind == "folders")
            s += "complete -c " + program.name + " -n " + condition +
                 " -a '(__fish_complete_directories (commandline -ct) \"\")'\n";
        else if (kind.compare(0, 6, "words=") == 0) {
            std::string words = kind.substr(6);
            for (char& c : words)
                if (c == '|')
                    c = ' ';
            s += "complete -c " + program.name + " -n " + condition + " -a " + FishQuote(words) +
                 "\n";
        }
    }
    return s;
}

}  // namespace Docs
