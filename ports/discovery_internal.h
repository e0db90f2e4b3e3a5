// Narrow seams of port discovery for the tests: the same steps as
// FindDevicePort and GetProgramFolder, given the folder or the window instead
// of taking them from the main window. GUI thread.
#pragma once

#include <windows.h>

#include <string>

// Reads the module path of `window` and cuts it to its folder. False when the
// path is longer than discovery supports; an unreadable path gives true and
// an empty folder, so that the bare file names are used.
bool ReadProgramFolder(HWND window, std::wstring& folder);

// Runs folder + "ZiziDivu.exe", waits for it and reads folder + "listport.txt".
std::wstring FindPortInFolder(const std::wstring& folder);

// The port name of the last qualifying line of the list at `listPath`, or the
// empty string when the list cannot be opened or no line qualifies.
std::wstring ReadListPort(const std::wstring& listPath);

// The working folder the shell is given for the tool: the path cut after its
// last backslash, or empty when no backslash follows its first character.
std::wstring ShellDirectoryOf(const std::wstring& toolPath);
