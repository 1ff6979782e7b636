#include "app/core/Progress.h"

#include "app/core/Strings.h"
#include "app/core/Texts.h"
#include "os/Logger.h"

namespace App {
namespace {

using FCryptEng::OperationState;

std::string Percent(std::uint32_t p) {
    return Format(" (%d%%)", int(p));
}

std::string BaseName(const std::string& path) {
    const std::size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace

std::string ProgressTitle(const Snapshot& s) {
    const int p = int(s.overallPercent);
    switch (s.state) {
        case OperationState::Idle:
            return std::string();
        case OperationState::Encrypting:
            return Format("Encrypting - %d%%", p);
        case OperationState::Decrypting:
            return Format("Decrypting - %d%%", p);
        case OperationState::Recycling:
            return Format("Recycling - %d%%", p);
        case OperationState::Deleting:
            return Format("Deleting - %d%%", p);
        case OperationState::Overwriting:
            return Format("Overwriting - %d%%", p);
        case OperationState::Eradicating:
            return Format("Eradicating - %d%%", p);
        case OperationState::Verifying:
            return Format("Verifying - %d%%", p);
        case OperationState::Finished:
            return Format("Finished - %d%%", p);
        case OperationState::Failed:
            return "Unexpected Error!";
    }
    return std::string();
}

std::string ItemLine(const Snapshot& s) {
    const char* format = nullptr;
    switch (s.state) {
        case OperationState::Encrypting:
            format = "Encrypting file:  %s";
            break;
        case OperationState::Decrypting:
            format = "Decrypting file:  %s";
            break;
        case OperationState::Overwriting:
            format = "Overwriting file:  %s";
            break;
        case OperationState::Eradicating:
            format = "Eradicating file:  %s";
            break;
        case OperationState::Verifying:
            format = "Verifying file:  %s";
            break;
        default:
            return std::string();
    }
    return Format(format, CompactPath(s.itemName, 40).c_str());
}

namespace {

// A clock reading: "0:07", "12:34", "1:02:03".
std::string Clock(std::uint64_t ms) {
    const std::uint64_t total = ms / 1000;
    const auto h = static_cast<int>(total / 3600), m = static_cast<int>(total / 60 % 60),
               sec = static_cast<int>(total % 60);
    return h > 0 ? Format("%d:%02d:%02d", h, m, sec) : Format("%d:%02d", m, sec);
}

}  // namespace

std::string TimesText(const Snapshot& s, bool running) {
    if (s.state == FCryptEng::OperationState::Idle)
        return std::string();
    std::string out = "Elapsed " + Clock(s.elapsedMs);
    if (running && s.elapsedMs >= 3000 && s.readSoFar > 0 && s.readSoFar < s.readTotal) {
        const double left =
            double(s.elapsedMs) * double(s.readTotal - s.readSoFar) / double(s.readSoFar);
        // Rounded up to whole seconds: "0:00 left" while work remains would be wrong.
        out += ", about " + Clock(static_cast<std::uint64_t>(left) + 999) + " left";
    }
    return out;
}

std::string OverallText(const Snapshot& s, bool encrypting) {
    if (s.state == OperationState::Idle)
        return std::string();
    // Shredding reads nothing: it overwrites what the files hold.
    if (s.shredding)
        return Format("%s in %d file%s", SizeText(s.readTotal).c_str(), int(s.fileCount),
                      s.fileCount == 1 ? "" : "s") +
               Percent(s.overallPercent);
    if (encrypting)
        return "Read " + SizeText(s.readSoFar) + " of " + SizeText(s.readTotal) +
               Percent(s.overallPercent);
    return "Written " + SizeText(s.writtenSoFar) + " of " + SizeText(s.writeTotal) +
           Percent(s.overallPercent);
}

std::string ItemText(const Snapshot& s) {
    switch (s.state) {
        case OperationState::Idle:
            return std::string();
        case OperationState::Encrypting:
            return "Read " + SizeText(s.itemRead) + " of " + SizeText(s.itemSize) +
                   Percent(s.itemPercent);
        case OperationState::Decrypting:
            return "Written " + SizeText(s.itemWritten) + " of " + SizeText(s.itemOutSize) +
                   Percent(s.itemPercent);
        default:
            return Format("(%d%%)", int(s.itemPercent));
    }
}

ItemLayout LayoutFor(std::size_t selectedCount, std::size_t allCount) {
    ItemLayout layout;
    layout.hideItem = selectedCount == 1;
    layout.lineInOverallLabel = allCount == 1;
    return layout;
}

ProgressDisplay::Update ProgressDisplay::Tick(const Snapshot& s, bool encrypting, bool minimized,
                                              bool running) {
    Update u;
    if (minimized) {
        u.title = ProgressTitle(s);
        m_wasMinimized = true;
        return u;
    }
    if (m_wasMinimized)
        u.title = Text(StringId::AppName);
    m_wasMinimized = false;
    if (m_first || s.itemNumber != m_lastItem || s.state != m_lastState) {
        m_lastItem = s.itemNumber;
        m_lastState = s.state;
        m_itemLine = ItemLine(s);
    }
    m_first = false;
    u.controls = true;
    u.itemLine = m_itemLine;
    u.overallText = OverallText(s, encrypting);
    u.itemText = ItemText(s);
    u.overallBar = s.overallPercent;
    u.itemBar = s.itemPercent;
    u.toEndPage = !running;
    return u;
}

namespace {

EndSummary SummarizeShred(const EndFacts& f) {
    EndSummary out;
    const char* done = f.eradicating ? "eradicated" : "overwritten";
    if (f.failed) {
        out.message = "The shredding failed.";
        out.reason = f.failure;
        return out;
    }
    if (f.cancelled) {
        out.message = Format(
            "Shredding has been cancelled. Files already %s cannot be recovered; "
            "the others are as they were.",
            done);
        return out;
    }
    const Snapshot& s = f.snapshot;
    const bool one = s.fileCount == 1;
    out.showDetails = true;
    out.message = Format(one ? "Your file has been %s.\n" : "Your files have been %s.\n", done);
    out.input =
        one ? Format("%s\n(%s)\n", CompactPath(f.firstFile).c_str(), SizeText(s.readTotal).c_str())
            : Format("%d files, %d folders\n(%s)\n", int(s.fileCount), int(s.folderCount),
                     SizeText(s.readTotal).c_str());
    out.output = "None: nothing is written\n";
    out.time = Format("%s\n", TimeText(s.elapsedMs).c_str());
    out.warnings = f.warnings;
    return out;
}

}  // namespace

EndSummary Summarize(const EndFacts& f) {
    if (f.shredding)
        return SummarizeShred(f);
    EndSummary out;
    if (f.failed) {
        // With the run's own reason the failure is no longer "unexpected": say what it was.
        if (f.failure.empty())
            out.message =
                Text(f.encrypting ? StringId::EncryptionFailed : StringId::DecryptionFailed);
        else
            out.message = f.encrypting ? "The encryption failed." : "The decryption failed.";
        out.reason = f.failure;
        return out;
    }
    if (f.cancelled) {
        out.message = f.encrypting ? "The file encryption operation has been cancelled."
                                   : "The file decryption operation has been cancelled.";
        return out;
    }
    const Snapshot& s = f.snapshot;
    const bool one = s.fileCount == 1;
    out.showDetails = true;
    if (f.encrypting) {
        out.message = one ? "Your file has been encrypted.\n" : "Your files have been encrypted.\n";
        out.input = one ? Format("%s\n(%s)\n", CompactPath(f.firstFile).c_str(),
                                 SizeText(s.readSoFar).c_str())
                        : Format("%d files, %d folders\n(%s)\n", int(s.fileCount),
                                 int(s.folderCount), SizeText(s.readSoFar).c_str());
        out.output = Format("%s\n(%s)\n", CompactPath(f.cipherFile).c_str(),
                            SizeText(s.writtenSoFar).c_str());
    } else {
        out.input = Format("%s\n(%s of %s used)\n", CompactPath(f.cipherFile).c_str(),
                           SizeText(s.readSoFar).c_str(), SizeText(s.readTotal).c_str());
        out.message = one ? "Your file has been decrypted.\n" : "Your files have been decrypted.\n";
        out.output = one ? Format("%s\n(%s)\n", CompactPath(BaseName(f.firstFile)).c_str(),
                                  SizeText(s.writtenSoFar).c_str())
                         : Format("%d files, %d folders\n(%s)\n", int(s.fileCount),
                                  int(s.folderCount), SizeText(s.writtenSoFar).c_str());
    }
    std::string speed;
    if (s.elapsedMs >= 5 && s.writtenSoFar >= 1000)
        speed = SpeedText(f.encrypting ? s.readSoFar : s.writtenSoFar, s.elapsedMs);
    out.time = Format("%s%s\n", TimeText(s.elapsedMs).c_str(), speed.c_str());
    out.warnings = f.warnings;
    return out;
}

EndFacts FactsOf(OperationRunner& runner) {
    OS::Trace t("FactsOf()");
    EndFacts f;
    f.encrypting = runner.IsEncrypting();
    f.shredding = runner.IsShredding();
    f.eradicating =
        f.shredding && runner.Cryptor().DeletionMode() == FCryptEng::InputDeletionMode::Eradicate;
    f.failed = runner.RunFailed();
    f.cancelled = runner.RunCancelled();
    f.snapshot = runner.Snapshot();
    bool isFolder = false;
    if (runner.PlainFileCount(true) > 0)
        f.firstFile = runner.PlainFile(0, isFolder, true).value_or(std::string());
    f.cipherFile = runner.CipherFile().value_or(std::string());
    f.failure = runner.Failure();
    if (!f.cancelled)
        f.warnings = runner.Warnings();
    return f;
}

bool AllowCancel(OperationRunner& runner, MessageBoxes& boxes) {
    OS::Trace t("AllowCancel()");
    if (!runner.IsRunning())
        return true;
    runner.Pause(true);
    const bool yes = boxes.Show(Text(StringId::CancelQuestion), Text(StringId::AppName),
                                MessageBoxes::Icon::Question, MessageBoxes::Buttons::YesNo,
                                MessageBoxes::Answer::No) == MessageBoxes::Answer::Yes;
    if (yes)
        runner.RequestCancel();
    runner.Pause(false);
    return yes;
}

}  // namespace App
