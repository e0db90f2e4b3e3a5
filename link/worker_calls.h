// The Win32 thread calls under the worker service, gathered in one table of
// function pointers. The program uses the system's own; the link's unit
// tests put stand-ins in their place to refuse a thread or to release a
// stand-in port's blocked call as Windows' cancel does.
#pragma once

#include <windows.h>

struct WorkerSystemCalls {
    decltype(&CreateThread) createThread;
    decltype(&CancelSynchronousIo) cancelSynchronousIo;
};

// Replace only while no worker runs.
extern WorkerSystemCalls WorkerSystem;
