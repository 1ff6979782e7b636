// A callback that answers from queues and records every question, for driving whole runs in
// tests. An empty queue answers with the default.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "format/CryptorCallback.h"

namespace cryvan_test {

class ScriptedCallback : public FCryptEng::CryptorCallback {
  public:
    // Answers to ConfirmOverwrite.
    enum Overwrite { Yes, YesToAll, No, NoToAll, Cancel };

    std::deque<Overwrite> overwriteAnswers;
    std::deque<bool> deletionAnswers;
    std::deque<bool> retryOpenAnswers;
    std::deque<bool> retryWriteAnswers;
    std::deque<bool> recycleFallbackAnswers;
    std::deque<std::optional<std::string>> textAnswers;
    // Set by Cancel answers; the status record the run uses.
    std::atomic<std::uint8_t>* cancel = nullptr;

    std::vector<std::string> asked;  // one line per question, in order

    std::optional<std::string> AskText(const std::string& prompt, bool create) override {
        asked.push_back("text " + prompt + (create ? " create" : ""));
        return Pop(textAnswers, std::optional<std::string>());
    }
    bool ConfirmOverwrite(const std::string& path, bool readOnly,
                          FCryptEng::OverwriteFlags& flags) override {
        using FCryptEng::OverwriteFlags;
        asked.push_back(std::string("overwrite ") + (readOnly ? "read-only " : "") + path);
        switch (Pop(overwriteAnswers, No)) {
            case Yes:
                return true;
            case YesToAll:
                flags = flags |
                        (readOnly ? OverwriteFlags::YesToAllReadOnly : OverwriteFlags::YesToAll);
                return true;
            case No:
                return false;
            case NoToAll:
                flags =
                    flags | (readOnly ? OverwriteFlags::NoToAllReadOnly : OverwriteFlags::NoToAll);
                return false;
            case Cancel:
                if (cancel)
                    cancel->store(1);
                return false;
        }
        return false;
    }
    // Modes and codes are recorded by their numbers.
    bool ConfirmInputDeletion(const std::string* path, FCryptEng::InputDeletionMode mode) override {
        asked.push_back("delete " + std::to_string(static_cast<int>(mode)) +
                        (path ? " " + *path : ""));
        return Pop(deletionAnswers, true);
    }
    void ReportDestroyFailed(bool eradicate) override {
        asked.push_back(eradicate ? "not eradicated" : "not overwritten");
    }
    bool RetryOpen(bool encrypting, bool isFile, const std::string& path,
                   OS::ErrorCode code) override {
        asked.push_back(std::string("retry open ") + (encrypting ? "e " : "d ") +
                        (isFile ? "file " : "folder ") + path + " " +
                        std::to_string(static_cast<int>(code)));
        return Pop(retryOpenAnswers, false);
    }
    bool RetryWrite(OS::ErrorCode code) override {
        asked.push_back("retry write " + std::to_string(static_cast<int>(code)));
        return Pop(retryWriteAnswers, false);
    }

    bool ConfirmDeleteInsteadOfRecycle(std::size_t count) override {
        asked.push_back("delete instead of recycle " + std::to_string(count));
        return Pop(recycleFallbackAnswers, false);
    }

  private:
    template <typename T, typename D>
    static T Pop(std::deque<T>& q, D fallback) {
        if (q.empty())
            return T(fallback);
        T v = q.front();
        q.pop_front();
        return v;
    }
};

}  // namespace cryvan_test
