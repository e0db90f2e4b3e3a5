// ZiziDivu's run within a time limit: the ports are gathered on a worker
// thread, and when the worker has not ended in time the main thread writes
// the ports gathered so far and ends the process. Called on the tool's main
// thread.
#pragma once

#include <windows.h>

#include "tools/zizidivu/serial_ports.h"

// How long the enumeration may take. The configurator's window takes no
// input while it waits for the tool, and Windows shows a window that has
// taken no input for 5 seconds as "Not Responding"; 3 seconds leave room
// for the tool's start and the writing of the list within those 5. A
// healthy enumeration takes well under a tenth of that, even with 64 ports.
constexpr DWORD EnumerationLimitMs = 3000;

// The exit code when the list was written but the enumeration had not
// ended: the list holds the ports found before the limit.
constexpr int ListCutShort = 4;

// The whole run: lists the ports into listport.txt beside the tool and
// returns the exit code (WriteList's result, or ListCutShort). After a
// written cut-short list it does not return: the process ends at once.
int RunZiziDivu();
