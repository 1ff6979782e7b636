// The log file of the main program: the warnings and errors of every run, kept where the user's
// state lives, so that what went wrong can still be read after the screen is gone.
#pragma once

#include <cstdint>
#include <string>

namespace App {

inline constexpr char kLogFileName[] = "cryvan.log";
// Past this size the log moves to "cryvan.log.1" and a new one begins.
inline constexpr std::uint64_t kLogFileCap = 1024 * 1024;

// StateFolder() + "cryvan.log"; empty when the "LogFile" setting is 0 or there is no folder.
std::string LogFilePath();
// Starts the log file when LogFilePath() names one; false when off or it cannot be opened.
bool StartLogFile();

}  // namespace App
