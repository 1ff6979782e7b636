#include "os/Logger.h"

#include <cerrno>
#include <cstdio>
#include <streambuf>

#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "os/LogFile.h"

namespace OS {
namespace {

struct Sinks {
    std::mutex mutex;
    std::vector<std::pair<unsigned, std::ostream*>> list;
    std::unique_ptr<std::ofstream> logFile;
    std::unique_ptr<std::ofstream> traceFile;
    std::unique_ptr<std::streambuf> cappedBuf;
    std::unique_ptr<std::ostream> capped;
    int state = 0;
};

// Never destroyed: lines may still be logged by static objects during exit.
Sinks& TheSinks() {
    static Sinks* sinks = new Sinks;
    return *sinks;
}

const char* const kPrefixes[] = {":FATAL", ":ERROR", ":WARN", ":INFO", ":DEBUG", ":TRACE"};

}  // namespace

std::atomic<unsigned> Logger::s_levels{0};

void Logger::Setup(bool console, bool logFile, bool traceFile) {
    Sinks& s = TheSinks();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.list.clear();
        s.logFile.reset();
        s.traceFile.reset();
        s.state = 1;
        s_levels.store(0, std::memory_order_relaxed);
        if (logFile)
            s.logFile = std::make_unique<std::ofstream>("log_release.txt", std::ios::trunc);
        if (traceFile)
            s.traceFile = std::make_unique<std::ofstream>("trace_release.txt", std::ios::trunc);
    }
    if (console) {
        Register(LOG_FATAL | LOG_ERROR, &std::cerr);
        Register(LOG_WARN | LOG_INFO | LOG_DEBUG, &std::cout);
    }
    if (logFile)
        Register(LOG_FATAL | LOG_ERROR | LOG_WARN | LOG_INFO, s.logFile.get());
    if (traceFile)
        Register(LOG_TRACE, s.traceFile.get());
}

void Logger::Register(unsigned mask, std::ostream* stream) {
    if (!stream)
        return;
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    auto it = s.list.begin();
    while (it != s.list.end() && it->second != stream)
        ++it;
    if (it != s.list.end()) {
        if (mask == 0)
            s.list.erase(it);
        else
            it->first = mask;
    } else if (mask != 0) {
        s.list.emplace_back(mask, stream);
    }
    unsigned levels = 0;
    for (const auto& sink : s.list)
        levels |= sink.first;
    s_levels.store(levels, std::memory_order_relaxed);
}

void Logger::Log(unsigned level, std::string_view text) {
    if (!Wants(level))
        return;
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [mask, stream] : s.list) {
        const unsigned shared = mask & level;
        if (!shared)
            continue;
        for (unsigned bit = 0; bit < 6; ++bit) {
            if (shared & (1u << bit))
                *stream << kPrefixes[bit];
        }
        *stream << ": " << text << '\n';
        stream->flush();
    }
}

void Logger::Teardown() {
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.list.clear();
    s_levels.store(0, std::memory_order_relaxed);
    s.state = 2;
    s.traceFile.reset();
    s.logFile.reset();
    s.capped.reset();
    s.cappedBuf.reset();
}

bool Logger::OpenLogFile(const std::string& path, std::uint64_t cap) {
    Sinks& s = TheSinks();
    std::ostream* old = nullptr;
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        old = s.capped.get();
    }
    if (old)
        Register(0, old);
    std::unique_ptr<std::streambuf> buf = detail::OpenCappedLog(path, cap);
    if (!buf)
        return false;
    auto stream = std::make_unique<std::ostream>(buf.get());
    std::ostream* raw = stream.get();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.capped = std::move(stream);
        s.cappedBuf = std::move(buf);
    }
    Register(LOG_FATAL | LOG_ERROR | LOG_WARN, raw);
    return true;
}

int Logger::State() {
    Sinks& s = TheSinks();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.state;
}

void Trace::Emit(const char* what) const noexcept {
    try {
        Logger::Log(LOG_TRACE, std::string(what) + m_name);
    } catch (...) {
        // Tracing must never change the outcome of the operation it traces.
    }
}

}  // namespace OS
