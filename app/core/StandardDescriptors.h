// Standard input, output and error that a caller left closed are opened on /dev/null before
// anything else is opened: otherwise the first file the program opens takes descriptor 0 and
// is read as typed input (a password, say), or takes 1 or 2 and receives the program's output.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace App {

inline void OpenClosedStandardDescriptors() {
    for (int target = 0; target <= 2; ++target) {
        if (fcntl(target, F_GETFD) != -1 || errno != EBADF)
            continue;
        int fd = open("/dev/null", target == 0 ? O_RDONLY : O_WRONLY);
        if (fd < 0) {
            // No /dev/null (an empty root): a pipe whose other end is closed reads as the end
            // of input and refuses output, which is just as harmless.
            int ends[2];
            if (pipe(ends) != 0)
                continue;
            fd = target == 0 ? ends[0] : ends[1];
            close(target == 0 ? ends[1] : ends[0]);
        }
        if (fd != target) {
            dup2(fd, target);
            close(fd);
        }
    }
}

}  // namespace App
