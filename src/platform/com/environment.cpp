#include "com/environment.h"

#include <quorin_platform/environment.h>

#include "com/process_state.h"
#include "common/locking.h"

#include <cstring>
#include <new>

extern char **environ;

namespace {

struct Copy {
    quorin::Mutex lock;
    bool taken GUARDED_BY(lock) = false;
    std::vector<std::string> variables GUARDED_BY(lock);
    // Where each variable's text stood when it was copied. A variable set
    // anew (setenv, os.environ) gets text of its own and unsetenv moves the
    // others: while these are the same, so is the environment.
    std::vector<const char *> places GUARDED_BY(lock);
};

Copy &copy() { return platform::ProcessState<Copy>::get(); }

std::vector<std::string> processVariables() {
    std::vector<std::string> variables;
    for (char **variable = environ; *variable; ++variable)
        variables.emplace_back(*variable);
    return variables;
}

} // namespace

extern "C" void quorin_platform_take_environment(void) {
    // Without memory for a new copy, the last one stands.
    try {
        Copy &c = copy();
        quorin::Lock guard(c.lock);
        // Every call into the module passes here (getbuffer among them): an
        // unchanged environment is only compared, nothing allocated.
        size_t count = 0;
        while (environ[count] && count < c.places.size() && environ[count] == c.places[count])
            ++count;
        if (c.taken && !environ[count] && count == c.places.size())
            return;
        std::vector<const char *> places;
        for (char **variable = environ; *variable; ++variable)
            places.push_back(*variable);
        std::vector<std::string> variables = processVariables();
        c.variables.swap(variables);
        c.places.swap(places);
        c.taken = true;
    } catch (const std::bad_alloc &) {
    }
}

namespace platform {

std::vector<std::string> environmentVariables() {
    Copy &c = copy();
    {
        quorin::Lock guard(c.lock);
        if (c.taken)
            return c.variables;
    }
    return processVariables();
}

void forgetLentEnvironment() {
    Copy &c = copy();
    quorin::Lock guard(c.lock);
    c.taken = false;
    c.variables.clear();
    c.places.clear();
}

std::optional<std::string> environmentValue(const char *name) {
    const size_t length = std::strlen(name);
    for (const std::string &variable : environmentVariables())
        if (variable.size() > length && variable.compare(0, length, name) == 0 && variable[length] == '=')
            return variable.substr(length + 1);
    return std::nullopt;
}

} // namespace platform
