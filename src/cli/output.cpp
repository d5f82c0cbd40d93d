#include "cli/output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

void guardStandardDescriptors()
{
    std::signal(SIGPIPE, SIG_IGN);
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) {
            continue;
        }
        // The lowest free number is taken, which is this one: the lower ones
        // are open by now. Standard output is opened for reading only: a
        // document written into it fails with EBADF, as into the closed
        // descriptor, and the run says so (status 3) instead of losing it.
        int opened = open("/dev/null", fd == STDOUT_FILENO ? O_RDONLY : O_RDWR);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

int finishOutput(Session* session, int status)
{
    errno = 0;
    bool flushed = std::fflush(session->out) == 0;
    if (flushed && std::ferror(session->out) == 0) {
        return status;
    }
    // A failure met while the document was being formatted leaves the
    // stream's error flag; its errno may be gone by now.
    int reason = errno != 0 ? errno : EIO;
    // A batch that stopped at a failed answer ends through here again.
    if (!session->outputFailureReported) {
        std::fprintf(session->err, "panoctl: cannot write standard output: %s\n",
                     std::strerror(reason));
        session->outputFailureReported = true;
    }
    return kStatusOutputFailed;
}
