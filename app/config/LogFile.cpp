#include "app/config/LogFile.h"

#include "app/config/Folders.h"
#include "app/config/Settings.h"
#include "os/Logger.h"

namespace App {

std::string LogFilePath() {
    if (Settings::Get(Settings::kLogFile) == 0)
        return std::string();
    const std::string folder = StateFolder();
    return folder.empty() ? std::string() : folder + kLogFileName;
}

bool StartLogFile() {
    const std::string path = LogFilePath();
    return !path.empty() && OS::Logger::OpenLogFile(path, kLogFileCap);
}

}  // namespace App
