// The way into the windows' library (libquorin-dialogs-gtk.so.0), which
// loader.cpp loads once GTK 3 is loaded.
#pragma once

// The helper's work: reads what to show, shows it, says how it closed.
// Returns the program's exit status.
extern "C" __attribute__((visibility("default"))) int quorinDialogsMain(int argc, char **argv);
