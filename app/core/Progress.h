// What the progress page and the end page show, worked out from snapshots so that a front end
// only renders: it calls Tick every 200 ms while the progress page is up, and Summarize once
// when the end page comes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/core/MessageBoxes.h"
#include "app/core/OperationRunner.h"
#include "app/core/Strings.h"

namespace App {

// The sheet's title while minimized: "Encrypting - 42%" and so on; empty for Idle.
std::string ProgressTitle(const Snapshot& s);
// "Encrypting file:  <path>" (the path compacted to 40 characters) and the like; empty for the
// states that work on no single file.
std::string ItemLine(const Snapshot& s);
// "Read 1.00 MB of 2.00 MB (50%)" when encrypting, "Written ..." when decrypting; empty while
// Idle.
std::string OverallText(const Snapshot& s, bool encrypting);
// "Elapsed 0:12, about 0:40 left": the time since the start and, while the run goes and
// enough of it is done to judge (three seconds), the time left at the speed so far.
std::string TimesText(const Snapshot& s, bool running);
// The current item's "Read"/"Written" text, "(<n>%)" for the other states, empty while Idle.
std::string ItemText(const Snapshot& s);

// How the page lays out the current-item line for the run's file counts.
struct ItemLayout {
    // A single selected file: no "Current file:" label, item bar or item text.
    bool hideItem = false;
    // A single file in all: the item line takes the "Overall progress" label's place.
    bool lineInOverallLabel = false;
};
ItemLayout LayoutFor(std::size_t selectedCount, std::size_t allCount);

// The progress page's state between ticks.
class ProgressDisplay {
  public:
    struct Update {
        // A new sheet title, when it changes ("Cryvan" once restored).
        std::optional<std::string> title;
        // False while minimized: then only the title is to be set.
        bool controls = false;
        std::string itemLine;
        std::string overallText;
        std::string itemText;
        std::uint32_t overallBar = 0;
        std::uint32_t itemBar = 0;
        // The run is over and the sheet is shown: stop the timer and go to the end page.
        bool toEndPage = false;
    };

    // When the page becomes active.
    explicit ProgressDisplay(bool minimized) : m_wasMinimized(minimized) {}

    // One tick, after the snapshot was refreshed.
    Update Tick(const Snapshot& s, bool encrypting, bool minimized, bool running);

  private:
    bool m_wasMinimized;
    bool m_first = true;
    std::uint32_t m_lastItem = 0;
    FCryptEng::OperationState m_lastState = FCryptEng::OperationState::Idle;
    std::string m_itemLine;
};

// The end page's texts.
struct EndSummary {
    std::string message;
    // Input, Output and Time and their labels are hidden after a failure or a cancel.
    bool showDetails = false;
    std::string input;
    std::string output;
    std::string time;
    // After a failure: why, naming the file. After a finished run: each thing asked for that
    // could not be done, and why.
    std::string reason;
    std::vector<std::string> warnings;
};

struct EndFacts {
    bool encrypting = true;
    // Files destroyed without a container (the file manager's shred entry): the verb.
    bool shredding = false;
    bool eradicating = false;
    bool failed = false;
    bool cancelled = false;
    Snapshot snapshot;
    // Encrypting: the first plain file's full path. Decrypting: the first selected stored
    // file's name as the directory records it.
    std::string firstFile;
    // The container's name.
    std::string cipherFile;
    // The run's own account (OperationStatus::failure, warnings).
    std::string failure;
    std::vector<std::string> warnings;
};
EndSummary Summarize(const EndFacts& facts);
// The facts of the runner's ended run.
EndFacts FactsOf(OperationRunner& runner);

// Heads the end page's list of what could not be done.
inline constexpr const char* kWarningsHeading = Text(StringId::RunWarningsHeading);

// The page's answer to Cancel during a run: holds the run while it asks "Are you sure you want
// to cancel?" (when the run still goes) and lets it go on afterwards. True: cancel.
bool AllowCancel(OperationRunner& runner, MessageBoxes& boxes);

}  // namespace App
