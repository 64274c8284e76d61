#include "ui/spawn.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <linux/sched.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {

namespace {

// The kernel's own sigaction: the child calls the kernel directly, since a
// library's wrappers (and a sanitizer's) may take locks that a thread of
// the parent held as the child was made.
struct KernelSigaction {
    void (*handler)(int);
    unsigned long flags;
    void (*restorer)();
    uint64_t mask;
};

constexpr int lastSignal = 64;

// What the child does between being made and becoming program: only system
// calls, on the memory it was made with.
[[noreturn]] void becomeProgram(const char *program, char *const *argv, char *const *envp, const int *copies, int count,
                                int report) {
    const KernelSigaction defaults{SIG_DFL, 0, nullptr, 0};
    for (int signal = 1; signal <= lastSignal; ++signal)
        if (signal != SIGKILL && signal != SIGSTOP)
            syscall(SYS_rt_sigaction, signal, &defaults, nullptr, sizeof(uint64_t));
    const uint64_t none = 0;
    syscall(SYS_rt_sigprocmask, SIG_SETMASK, &none, nullptr, sizeof none);
    long failed = 0;
    // Each copy is above every target, so none is overwritten before it is
    // moved; dup3 leaves the target open across exec.
    for (int k = 0; k < count && failed >= 0; ++k)
        failed = syscall(SYS_dup3, copies[k], k, 0);
    if (failed >= 0) {
        // Whatever else is open without close-on-exec (a library's, a test
        // runner's) stays ours; the report pipe closes as exec succeeds.
        if (report > count)
            syscall(SYS_close_range, count, report - 1, 0);
        syscall(SYS_close_range, report + 1, ~0U, 0);
        syscall(SYS_execve, program, argv, envp);
    }
    const int reason = errno;
    while (syscall(SYS_write, report, &reason, sizeof reason) < 0 && errno == EINTR) {
    }
    syscall(SYS_exit_group, 127);
    __builtin_unreachable();
}

} // namespace

int spawnChild(const std::string &program, const std::vector<std::string> &environment,
               const std::vector<int> &descriptors, Child &child) {
    const int count = static_cast<int>(descriptors.size());
    std::vector<int> copies;
    int report[2] = {-1, -1};
    auto closeAll = [&] {
        for (int copy : copies)
            close(copy);
        for (int end : report)
            if (end >= 0)
                close(end);
    };
    for (int fd : descriptors) {
        int copy = fcntl(fd, F_DUPFD_CLOEXEC, count);
        if (copy < 0) {
            int reason = errno;
            closeAll();
            return reason;
        }
        copies.push_back(copy);
    }
    if (pipe2(report, O_CLOEXEC) != 0) {
        int reason = errno;
        closeAll();
        return reason;
    }
    std::vector<std::string> words{program};
    std::vector<char *> argv{&words[0][0], nullptr};
    std::vector<std::string> variables(environment);
    std::vector<char *> envp;
    for (std::string &variable : variables)
        envp.push_back(&variable[0]);
    envp.push_back(nullptr);

    // Signals stay blocked from here until the child has set each to its
    // default, so that no handler of ours runs in it.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    int pidfd = -1;
    // A fork (no shared memory, so the child may write its own stack) with
    // the parent held until the child has called exec or ended, and a
    // pidfd made with the child: CLONE_PIDFD puts it where the parent's
    // tid would go. clone3 is refused by some sandboxes; clone is not.
    long made = syscall(SYS_clone, CLONE_PIDFD | CLONE_VFORK | SIGCHLD, nullptr, &pidfd, nullptr, nullptr);
    if (made == 0)
        becomeProgram(program.c_str(), argv.data(), envp.data(), copies.data(), count, report[1]);
    int reason = made < 0 ? errno : 0;
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    close(report[1]);
    report[1] = -1;
    if (made > 0) {
        // Exec closed the pipe's end in the child, or the child wrote why
        // it could not run the program.
        int failed = 0;
        ssize_t n;
        while ((n = read(report[0], &failed, sizeof failed)) < 0 && errno == EINTR) {
        }
        if (n == sizeof failed) {
            reason = failed;
            siginfo_t ended{};
            while (waitid(P_PIDFD, static_cast<id_t>(pidfd), &ended, WEXITED) < 0 && errno == EINTR) {
            }
            close(pidfd);
        } else {
            child.pid = static_cast<pid_t>(made);
            child.pidfd = pidfd; // made close-on-exec
        }
    }
    closeAll();
    return reason;
}

} // namespace platform
