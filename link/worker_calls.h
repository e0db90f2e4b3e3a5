// The Win32 thread calls under the worker service, gathered in one table of
// function pointers. The program uses the system's own; the link's unit
// tests put a stand-in in its place to refuse a thread.
#pragma once

#include <windows.h>

struct WorkerSystemCalls {
    decltype(&CreateThread) createThread;
};

// Replace only while no worker runs.
extern WorkerSystemCalls WorkerSystem;
