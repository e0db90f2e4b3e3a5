// The Win32 thread and timer calls under the worker service, gathered in one
// table of function pointers. The program uses the system's own; the link's
// unit tests put stand-ins in their place to refuse a thread, to count the
// thread handles given and closed, and to time the pauses as Windows would.
#pragma once

#include <windows.h>

#include <mmsystem.h>

struct WorkerSystemCalls {
    decltype(&CreateThread) createThread;
    decltype(&CloseHandle) closeThread; // a worker's thread handle
    decltype(&Sleep) sleep;
    // winmm's timeBeginPeriod, which the program loads only when it first
    // asks for the 1 ms timer.
    MMRESULT(WINAPI* timeBeginPeriod)(UINT milliseconds);
};

// Replace only while no worker runs.
extern WorkerSystemCalls WorkerSystem;
