// quorin-dialogs, as started by the platform: loads the desktop's own GTK 3,
// then the windows themselves (libquorin-dialogs-gtk.so.0, beside this
// program), which use it. Neither links GTK, so that a package of the module
// carries no toolkit and needs none to be installed: where GTK 3 is missing,
// this program answers that it can show nothing, and says why.
#include "ui/dialogs/channel.h"
#include "ui/dialogs/entry.h"
#include "ui/dialog_protocol.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

namespace key = platform::protocol::key;

// The folder this program was started from.
std::string ownFolder() {
    char path[4096];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    std::string self(path, static_cast<size_t>(length));
    size_t slash = self.rfind('/');
    return slash == std::string::npos ? "." : self.substr(0, slash);
}

} // namespace

int main(int argc, char **argv) {
    // The toolkit and what it needs, GLib among them, for the windows' code.
    if (!dlopen("libgtk-3.so.0", RTLD_NOW | RTLD_GLOBAL)) {
        std::string why = dlerror();
        dialogs::json opening;
        if (!dialogs::receive(opening)) {
            std::fprintf(stderr, "quorin-dialogs: started by the platform only, which says what to show\n");
            return 2;
        }
        dialogs::send({{key::nodisplay, true}, {key::reason, "GTK 3 is not installed (" + why + ")"}});
        return 0;
    }
    std::string windows = ownFolder() + "/libquorin-dialogs-gtk.so.0";
    void *loaded = dlopen(windows.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto *run = loaded ? reinterpret_cast<decltype(&quorinDialogsMain)>(dlsym(loaded, "quorinDialogsMain")) : nullptr;
    if (!run) {
        std::fprintf(stderr, "quorin-dialogs: cannot load its windows: %s\n", dlerror());
        return 2;
    }
    return run(argc, argv);
}
