// The desktop's own dialog program (zenity, or kdialog where zenity is missing), run as a child
// with an argument vector, never through a shell. The stand-alone program is static and links
// no toolkit: this is how it asks questions in windows.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "app/core/Secrets.h"

namespace Sfx {

// A program's full path found on PATH, or empty.
std::string FindOnPath(const std::string& name);

class DialogProgram {
  public:
    enum class Kind { Zenity, Kdialog };
    struct Answer {
        int status = -1;     // the exit status; -1 when it did not run or was killed
        std::string output;  // what it printed, without the final newline
    };

    DialogProgram(Kind kind, std::string path) : m_kind(kind), m_path(std::move(path)) {}
    Kind WhichKind() const { return m_kind; }

    Answer Run(const std::vector<std::string>& args) const;
    // For a password: what it prints goes straight into `secret`, a wiping buffer. False when
    // it was cancelled or did not run.
    bool RunSecret(const std::vector<std::string>& args, App::Secret& secret) const;

    // A window fed on its standard input (zenity's progress); Feed is false once it is gone.
    class Fed {
      public:
        Fed(const DialogProgram& program, const std::vector<std::string>& args);
        ~Fed();
        Fed(const Fed&) = delete;
        Fed& operator=(const Fed&) = delete;
        bool Feed(const std::string& line);
        // True once the window has gone by itself (its Cancel, or closed).
        bool Gone();
        void Close();

      private:
        pid_t m_pid = -1;
        int m_in = -1;
        bool m_gone = false;
    };

  private:
    // Starts the program with pipes to its standard input and from its output (each optional).
    pid_t Spawn(const std::vector<std::string>& args, int* in, int* out) const;

    Kind m_kind;
    std::string m_path;
};

}  // namespace Sfx
