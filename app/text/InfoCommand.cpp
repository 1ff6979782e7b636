#include "app/text/InfoCommand.h"

#include <filesystem>
#include <optional>
#include <sstream>

#include "app/config/UserConfig.h"
#include "app/core/Options.h"
#include "app/core/Texts.h"
#include "os/File.h"
#include "os/Logger.h"

namespace Text {

namespace {

using App::ExitStatus;
using FCryptEng::ContainerInfo;

const char kUnverified[] =
    "Not verified: without the password the key footer's MAC cannot be checked.";

const char* HeaderText(ContainerInfo::Header header) {
    switch (header) {
        case ContainerInfo::Header::Text:
            return "the text of a plain container";
        case ContainerInfo::Header::LinuxProgram:
            return "a Linux program (self-decrypting)";
        case ContainerInfo::Header::WindowsProgram:
            return "a Windows program (self-decrypting)";
        case ContainerInfo::Header::Other:
            break;
    }
    return "something else";
}

ExitStatus Usage(std::ostream& err, const std::string& why) {
    return App::ReportUsage(err, "cryvan", why);
}

}  // namespace

bool WantsInfo(const App::Arguments& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const App::OptionRow* row = App::FindOption(args[i], App::kFrontEnd);
        if (!row || row->option == App::Option::Menu)
            return false;
        if (row->option == App::Option::Info || row->option == App::Option::Json)
            return true;
        if (row->value == App::OptionValue::Required)
            ++i;
    }
    return false;
}

std::string JsonString(const std::string& text) {
    static const char digits[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            out += std::string("\\u00") + digits[c >> 4] + digits[c & 0xF];
        } else if (c < 0x80) {
            out += char(c);
        } else if (const std::size_t n = App::Utf8Sequence(text, i)) {
            out.append(text, i, n);
            i += n;
            continue;
        } else {
            // Not UTF-8: the byte stands for itself, as the code point of the same value.
            out += std::string("\\u00") + digits[c >> 4] + digits[c & 0xF];
        }
        ++i;
    }
    return out + "\"";
}

std::string InfoText(const std::string& path, const App::ContainerWays& ways) {
    const ContainerInfo& info = ways.info;
    std::ostringstream out;
    out << "File: " << App::EscapeControls(path) << "\n"
        << "Header: " << HeaderText(info.header) << "\n"
        << "Size: " << info.size << (info.size == 1 ? " byte" : " bytes") << "\n"
        << kUnverified << "\n"
        << "Password entries: " << info.passwordEntries << "\n";
    const std::size_t emergencies = info.emergencyEntries.size();
    const std::size_t yours = ways.YourEmergencyEntries();
    if (emergencies == 0)
        out << "Emergency entry: none\n";
    else if (emergencies == 1)
        out << "Emergency entry: " << (yours ? "yours" : "another user's") << "\n";
    else
        out << "Emergency entries: " << emergencies << " (" << yours << " yours)\n";
    if (!info.administrators) {
        out << "Administrators: none\n";
    } else {
        out << "Administrators: " << info.administrators->Needed() << " of "
            << info.administrators->n << "\n";
        if (!ways.matchedAdministrators.empty()) {
            out << "  Known here:";
            const char* separator = " ";
            for (const std::string& name : ways.matchedAdministrators) {
                out << separator << App::EscapeControls(name);
                separator = ", ";
            }
            out << "\n";
        }
        if (ways.unmatchedAdministrators > 0)
            out << "  Not matched: " << ways.unmatchedAdministrators
                << (ways.configurationFound ? ""
                                            : " (no data-recovery configuration on this machine)")
                << "\n";
    }
    out << "Unknown records: " << info.unknownRecords << "\n" << App::OpensWithLine(ways) << "\n";
    return out.str();
}

std::string InfoJson(const std::string& path, const App::ContainerWays& ways) {
    const ContainerInfo& info = ways.info;
    std::ostringstream out;
    out << "{\"file\": " << JsonString(path) << ", \"size\": " << info.size
        << ", \"header\": " << JsonString(FCryptEng::HeaderWord(info.header))
        << ", \"verified\": false, \"passwordEntries\": " << info.passwordEntries
        << ", \"emergencyEntries\": [";
    for (std::size_t i = 0; i < ways.emergencyYours.size(); ++i)
        out << (i ? ", " : "") << "{\"yours\": " << (ways.emergencyYours[i] ? "true" : "false")
            << "}";
    out << "], \"administrators\": ";
    if (!info.administrators) {
        out << "null";
    } else {
        out << "{\"k\": " << info.administrators->k << ", \"n\": " << info.administrators->n
            << ", \"needed\": " << info.administrators->Needed() << ", \"matched\": [";
        for (std::size_t i = 0; i < ways.matchedAdministrators.size(); ++i)
            out << (i ? ", " : "") << JsonString(ways.matchedAdministrators[i]);
        out << "], \"notMatched\": " << ways.unmatchedAdministrators << "}";
    }
    out << ", \"configurationFound\": " << (ways.configurationFound ? "true" : "false")
        << ", \"unknownRecords\": " << info.unknownRecords << "}\n";
    return out.str();
}

App::ExitStatus RunInfo(const App::Arguments& args, const App::UserConfig& config,
                        std::ostream& out, std::ostream& err) {
    std::optional<std::string> path;
    bool json = false;
    bool verbose = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string word(args[i]);
        const App::OptionRow* row = App::FindOption(word, App::kFrontEnd);
        if (!row)
            return Usage(err, "--info takes one FILE and --json, not '" + word + "'");
        switch (row->option) {
            case App::Option::Info:
                if (path)
                    return Usage(err, "give --info once");
                // "--info --json FILE" reads as "--json --info FILE".
                if (i + 1 < args.size() && args[i + 1] == std::string("--json")) {
                    json = true;
                    ++i;
                }
                if (i + 1 >= args.size())
                    return Usage(err, "--info needs a FILE");
                path = std::string(args[++i]);
                break;
            case App::Option::Json:
                json = true;
                break;
            case App::Option::Verbose:
                verbose = true;
                break;
            case App::Option::Text:
                break;
            default:
                return Usage(err, "--info takes one FILE and --json, not '" + word + "'");
        }
    }
    if (!path)
        return Usage(err, "--json goes with --info FILE");
    // --verbose: every log line of the reading to standard error, for this command only.
    struct VerboseLog {
        std::ostream* stream = nullptr;
        ~VerboseLog() {
            if (stream)
                OS::Logger::Register(0, stream);
        }
    } verboseLog;
    if (verbose) {
        OS::Logger::Register(OS::LOG_FATAL | OS::LOG_ERROR | OS::LOG_WARN | OS::LOG_INFO |
                                 OS::LOG_DEBUG | OS::LOG_TRACE,
                             &err);
        verboseLog.stream = &err;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(*path, ec)) {
        err << "cryvan: " << App::EscapeControls(*path) << ": a folder, not a container\n";
        return ExitStatus::Failed;
    }
    try {
        App::ContainerWays ways = App::MatchWays(ContainerInfo::Read(*path), config);
        out << (json ? InfoJson(*path, ways) : InfoText(*path, ways)) << std::flush;
        return ExitStatus::Success;
    } catch (const ContainerInfo::Damaged& e) {
        err << "cryvan: " << App::EscapeControls(*path)
            << ": damaged container: " << App::EscapeControls(e.what()) << "\n";
    } catch (const OS::File::Error& e) {
        err << "cryvan: " << App::EscapeControls(*path) << ": " << App::EscapeControls(e.what())
            << "\n";
    }
    return ExitStatus::Failed;
}

}  // namespace Text
