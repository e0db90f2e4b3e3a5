// Finds the COM port of the supported cable: runs ZiziDivu.exe from the
// program folder, waits for it (a bounded wait) and reads listport.txt. GUI thread. The steps
// below these, which the tests call directly, are in ports/discovery_internal.h.
#pragma once

#include <windows.h>

#include <string>

std::wstring FindDevicePort();
// Starts the tool and waits for it to end, at most a little beyond its own
// time limit. True when it started; `ended` (when given) tells whether it
// also ended within the wait.
bool LaunchAndWait(const std::wstring& toolPath, bool* ended = nullptr);
