#include "platform/DetachedProcess.h"

#include "platform/FileIo.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// In the grandchild: only calls that are safe after fork() in a threaded program.
[[noreturn]] void Exec(const char* program, char* const argv[], int reportFd) {
    const int devnull = ::open("/dev/null", O_RDWR);
    if (devnull >= 0) {
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
        if (devnull > STDERR_FILENO)
            ::close(devnull);
    }
    // The report pipe is close-on-exec already; it is the only descriptor kept open till then.
    ::close_range(STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC);
    if (std::strchr(program, '/'))
        ::execve(program, argv, environ);
    else
        ::execvpe(program, argv, environ);
    const int err = errno;
    ssize_t ignored = ::write(reportFd, &err, sizeof err);
    (void)ignored;
    ::_exit(127);
}

} // namespace

bool StartDetached(const std::string& program, const std::vector<std::string>& arguments,
                   std::string& error) {
    // Built before fork: the child may not allocate.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    // The grandchild reports a failed exec through this pipe; it closes on a successful exec.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        error = std::strerror(errno);
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::strerror(errno);
        ::close(report[0]);
        ::close(report[1]);
        return false;
    }
    if (child == 0) {
        ::close(report[0]);
        ::setsid();
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            const int err = errno;
            ssize_t ignored = ::write(report[1], &err, sizeof err);
            (void)ignored;
            ::_exit(1);
        }
        if (grandchild == 0) {
            if (::chdir("/") != 0) {
                // the program is given absolute paths; any folder will do
            }
            Exec(argv[0], argv.data(), report[1]);
        }
        ::_exit(0);
    }
    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    const bool failed = ReadAll(report[0], &err, sizeof err) == static_cast<ssize_t>(sizeof err);
    ::close(report[0]);
    if (failed) {
        error = std::strerror(err);
        return false;
    }
    return true;
}

} // namespace platform
