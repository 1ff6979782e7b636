// What a file object does the same way on every system: naming, construction, and the end of a
// file left open. The system calls behind them live in each system's own body.
#include "os/File.h"

#include <string>
#include <utility>

#include "os/Durable.h"
#include "os/Logger.h"

namespace OS {

File::Info File::Info::Named(const std::string& fullName) {
    Info info;
    info.SplitName(fullName);
    return info;
}

File::Info::Info(const std::string& fullName, bool mayNotExist) {
    Trace trace("File::Info::Info()");
    SplitName(fullName);
    try {
        Update();
    } catch (const Error& e) {
        m_exists = false;
        if (!mayNotExist || e.code != ErrorCode::NotFound)
            throw;
    }
}

ReadFile::ReadFile(const std::string& fullName) {
    Trace trace("ReadFile::ReadFile()");
    m_info = Info(fullName, false);
}

ReadFile::~ReadFile() {
    if (!IsOpen())
        return;
    Logger::Log(LOG_ERROR, "ReadFile destructor closing file left open");
    try {
        Close();
    } catch (...) {
        Logger::Log(LOG_ERROR, "Error closing file");
    }
}

void ReadFile::Close() {
    Trace trace("ReadFile::Close()");
    CloseHandle();
}

WriteFile::WriteFile(Descriptor fd, const std::string& fullName) {
    Trace trace("WriteFile::WriteFile()");
    m_info = Info::Named(fullName);
    m_state.mode = WriteMode::OpenExisting;
    m_state.fd = fd.Release();
    m_adopted = true;
}

WriteFile::~WriteFile() {
    if (!IsOpen())
        return;
    Logger::Log(LOG_ERROR, "WriteFile destructor closing file left open");
    try {
        if (m_state.deleteIfLeftOpen) {
            // The partial file is discarded: its creation attributes (read-only above all)
            // must not be applied, or they would keep it from being deleted.
            CloseHandle();
            Logger::Log(LOG_INFO, "Deleting file because was left open in WriteFile dtor");
            Delete(false);
        } else {
            Close();
        }
    } catch (...) {
        Logger::Log(LOG_ERROR, "Error closing file");
    }
}

void WriteFile::Flush() {
    Trace trace("WriteFile::Flush()");
    if (!IsOpen())
        throw Error(ErrorCode::Failed);
    RaiseError(TrySyncData(m_state.fd), IoOp::Write);
}

}  // namespace OS
