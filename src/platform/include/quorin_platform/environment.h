// The environment as the platform reads it: the dialog helper's, the
// display's, the virtual cameras' declaration. A host whose other threads
// change the environment (an interpreter: os.environ) hands the platform a
// copy, taken where no such change can run (the capture module: with the
// interpreter's lock), so that no thread of the platform walks the
// environment while another reallocates it. Until the first copy the
// platform reads the environment itself.
#pragma once

extern "C" {
// Copies the process's environment for the platform to read from then on;
// cheap when it has not changed since the last copy.
void quorin_platform_take_environment(void);
}
