// COM on the threads that call the module. The importing thread's COM is
// started by the import and stopped at the interpreter's exit; any other
// thread's is started the first time the module needs it there and stopped
// as that thread ends. On a thread whose COM someone else started in the
// same apartment, the module takes a count of its own, kept until the thread
// ends; in the other apartment, COM is used as it is.
#pragma once

// True when COM can be used on the calling thread; otherwise raises the
// module's error ("Initialization of COM failed.").
bool comOnThisThread();
// The same without raising, for where no exception may be set (a
// deallocation).
bool comUsableHere();
// Says that the import started COM on this thread.
void comStartedByImport();
