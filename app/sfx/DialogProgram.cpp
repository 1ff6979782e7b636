#include "app/sfx/DialogProgram.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace Sfx {

namespace {

int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void CloseFd(int& fd) {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

}  // namespace

std::string FindOnPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    if (!path || name.empty() || name.find('/') != std::string::npos)
        return std::string();
    std::string dirs = path;
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty()) {
            const std::string candidate = dir + "/" + name;
            struct stat st {};
            if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return std::string();
}

pid_t DialogProgram::Spawn(const std::vector<std::string>& args, int* in, int* out) const {
    int toChild[2] = {-1, -1}, fromChild[2] = {-1, -1};
    // The input is a socket so that writing to a window that has gone fails with EPIPE rather
    // than raising SIGPIPE (send's MSG_NOSIGNAL), whatever the process does with that signal.
    if ((in && socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, toChild) != 0) ||
        (out && pipe2(fromChild, O_CLOEXEC) != 0)) {
        for (int fd : {toChild[0], toChild[1], fromChild[0], fromChild[1]})
            if (fd >= 0)
                close(fd);
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (in)
        posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (out)
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(m_path.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, m_path.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (in) {
        close(toChild[0]);
        *in = toChild[1];
    }
    if (out) {
        close(fromChild[1]);
        *out = fromChild[0];
    }
    if (pid < 0) {
        if (in)
            CloseFd(*in);
        if (out)
            CloseFd(*out);
    }
    return pid;
}

DialogProgram::Answer DialogProgram::Run(const std::vector<std::string>& args) const {
    Answer answer;
    int out = -1;
    const pid_t pid = Spawn(args, nullptr, &out);
    if (pid < 0)
        return answer;
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(out, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        // A dialog's answer is a name or a label: a runaway program is cut off, not believed.
        if (answer.output.size() < 65536)
            answer.output.append(buffer, static_cast<std::size_t>(got));
    }
    CloseFd(out);
    answer.status = Wait(pid);
    while (!answer.output.empty() && (answer.output.back() == '\n' || answer.output.back() == '\r'))
        answer.output.pop_back();
    return answer;
}

bool DialogProgram::RunSecret(const std::vector<std::string>& args, App::Secret& secret) const {
    secret.Clear();
    int out = -1;
    const pid_t pid = Spawn(args, nullptr, &out);
    if (pid < 0)
        return false;
    char c = 0;
    bool ended = false;
    for (;;) {
        const ssize_t got = read(out, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        // One line; the rest (there should be none) is read and dropped.
        if (c == '\n')
            ended = true;
        else if (!ended)
            secret.push_back(c);
    }
    c = 0;
    CloseFd(out);
    if (Wait(pid) == 0)
        return true;
    secret.Clear();
    return false;
}

DialogProgram::Fed::Fed(const DialogProgram& program, const std::vector<std::string>& args) {
    m_pid = program.Spawn(args, &m_in, nullptr);
    m_gone = m_pid < 0;
}

DialogProgram::Fed::~Fed() {
    Close();
}

bool DialogProgram::Fed::Feed(const std::string& line) {
    if (m_gone || m_in < 0)
        return false;
    const std::string text = line + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = send(m_in, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;  // the window is gone (SIGPIPE is ignored: EPIPE)
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool DialogProgram::Fed::Gone() {
    if (m_gone)
        return true;
    int status = 0;
    const pid_t r = waitpid(m_pid, &status, WNOHANG);
    if (r == m_pid) {
        m_gone = true;
        m_pid = -1;
    }
    return m_gone;
}

void DialogProgram::Fed::Close() {
    CloseFd(m_in);
    if (m_pid > 0) {
        // Closing its input ends an auto-closing progress window; one that lingers is ended.
        for (int i = 0; i < 50; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            usleep(20000);
        }
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            Wait(m_pid);
            m_pid = -1;
        }
    }
    m_gone = true;
}

}  // namespace Sfx
