// What the platform says (a helper's fault, a device node the user may not
// open) goes to the Python logger "quorin" at WARNING, from whichever thread
// it arose on; with no handler configured anywhere, logging writes it to
// standard error as before. Once the interpreter begins to exit, lines go to
// standard error directly.
#pragma once

// At import: routes the lines, and stops routing them as the interpreter
// exits. Leaves no exception set; where routing cannot be set up, lines go
// on to standard error.
void routeDiagnosticsToLogging();
