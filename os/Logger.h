// Process-wide logger: level-tagged lines to registered streams, and the trace scope
// that every operation opens on entry.
#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

namespace OS {

enum LogLevel : unsigned {
    LOG_FATAL = 1,
    LOG_ERROR = 2,
    LOG_WARN = 4,
    LOG_INFO = 8,
    LOG_DEBUG = 16,
    LOG_TRACE = 32,
};

class Logger {
  public:
    // Opens "log_release.txt" / "trace_release.txt" in the current folder for the switches on.
    static void Setup(bool console, bool logFile, bool traceFile);
    // Same stream again: mask 0 removes it, any other mask replaces its mask.
    static void Register(unsigned mask, std::ostream* stream);
    static void Log(unsigned level, std::string_view text);
    static void Teardown();

    // Keeps FATAL, ERROR and WARN lines in `path` (mode 0600, created with its missing
    // folders, appended to), moving it to `path`.1 once it holds `cap` bytes or more, so at
    // most two files of about `cap` bytes each exist. False when the file cannot be opened;
    // the program then runs without it. Teardown closes it.
    static bool OpenLogFile(const std::string& path, std::uint64_t cap);
    // 0 before set-up, 1 once set up, 2 after teardown.
    static int State();

    // Cheap check so that disabled levels cost one atomic load.
    static bool Wants(unsigned level) {
        return (s_levels.load(std::memory_order_relaxed) & level) != 0;
    }

  private:
    static std::atomic<unsigned> s_levels;
};

// Writes "enter <name>" and "leave <name>" at TRACE when a trace sink is registered.
class Trace {
  public:
    explicit Trace(const char* name) : m_name(Logger::Wants(LOG_TRACE) ? name : nullptr) {
        if (m_name)
            Emit("enter ");
    }
    ~Trace() {
        if (m_name)
            Emit("leave ");
    }
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

  private:
    void Emit(const char* what) const noexcept;
    const char* m_name;
};

}  // namespace OS
