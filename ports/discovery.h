// Finds the COM port of the supported cable: runs ZiziDivu.exe from the
// program folder, waits for it and reads listport.txt. GUI thread. The steps
// below these, which the tests call directly, are in ports/discovery_internal.h.
#pragma once

#include <windows.h>

#include <string>

std::wstring FindDevicePort();
bool LaunchAndWait(const std::wstring& toolPath);
