// The Win32 communications calls under the port table, gathered in one
// table of function pointers. The program uses the system's own; the link's
// unit tests put stand-ins in their place to cause what a real line cannot
// (a write that never ends, a refused setting) and to see the DCB as set.
#pragma once

#include <windows.h>

struct SerialSystemCalls {
    decltype(&CreateFileW) createFile;
    decltype(&SetupComm) setupComm;
    decltype(&GetCommState) getCommState;
    decltype(&SetCommState) setCommState;
    decltype(&SetCommTimeouts) setCommTimeouts;
    decltype(&ClearCommError) clearCommError;
    decltype(&ReadFile) readFile;
    decltype(&WriteFile) writeFile;
    decltype(&PurgeComm) purgeComm;
    decltype(&CloseHandle) closeHandle;
};

// Replace only while no port is open and no worker runs.
extern SerialSystemCalls SerialSystem;
