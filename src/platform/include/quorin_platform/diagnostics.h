// Where the platform's diagnostic lines go: a helper's fault, a device node
// the user may not open, a source that stopped delivering. Each is one line,
// said from whichever thread it arose on. Until a sink is set they are
// written to standard error; the capture module routes them to its host's
// logging. (Windows has no such lines: its DirectShow says nothing.)
#pragma once

extern "C" {
// Called with each line, without its newline, and the context it was set
// with; it must not call back into the platform.
typedef void (*QuorinDiagnosticSink)(const char *line, void *context);
// Sets the sink; null sets standard error again.
void quorin_platform_set_diagnostic_sink(QuorinDiagnosticSink sink, void *context);
}
