#include "app/console/LineInput.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <sstream>
#include <thread>

namespace {

bool Echoes(int fd) {
    termios t{};
    return tcgetattr(fd, &t) == 0 && (t.c_lflag & ECHO);
}

// A program ended by a signal while a password is typed leaves the terminal echoing again.
TEST(TerminalInputTest, ASignalDuringThePasswordPromptGivesEchoBack) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const int slave = open(ptsname(master), O_RDWR | O_NOCTTY);
    ASSERT_GE(slave, 0);
    ASSERT_TRUE(Echoes(slave));

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::ostringstream prompts;
        App::TerminalInput input(prompts, slave);
        input.Secret("Password: ");
        _exit(0);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Echoes(slave) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(Echoes(slave)) << "the prompt never turned echo off";
    kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_TRUE(Echoes(slave));
    close(slave);
    close(master);
}

}  // namespace
