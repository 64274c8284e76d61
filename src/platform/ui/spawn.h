// Starting a program as a child known by a pidfd from its first instant: no
// pid that another wait in the process (os.wait(), a library's waitpid(-1))
// could reap and the system hand to a stranger is ever signalled or waited
// for. The child starts as a program should: every signal at its default,
// none blocked, and only the descriptors it is given.
#pragma once

#include <string>
#include <vector>
#include <sys/syscall.h>
#include <sys/types.h>
#include <sys/wait.h>

// C libraries older than these kernel interfaces (glibc 2.31, the oldest a
// package is built with) do not name them: the kernel's own numbers, the
// same on every architecture. Kernels older than they are (close_range came
// with 5.9) answer ENOSYS.
#ifndef SYS_close_range
#define SYS_close_range 436
#endif
#ifndef P_PIDFD
#define P_PIDFD static_cast<idtype_t>(3)
#endif

namespace platform {

struct Child {
    pid_t pid = -1;
    int pidfd = -1; // close-on-exec; the caller's to close
};

// Runs program with environment. descriptors[k] becomes the child's
// descriptor k; it inherits nothing else of ours. 0, or the errno that
// kept it from starting (exec's own among them).
int spawnChild(const std::string &program, const std::vector<std::string> &environment,
               const std::vector<int> &descriptors, Child &child);

} // namespace platform
