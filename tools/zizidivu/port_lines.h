// The lines of listport.txt as ZiziDivu writes them: one port a line, its
// upper-case name, then the port name in parentheses. Portable text code, so
// that the host tests check it. Called on the tool's only thread.
#pragma once

#include <string>
#include <string_view>

// The list line for a port, or the empty string when the port name cannot be
// written so that a reader would get it back (empty, or holding parentheses or
// control characters). `upperName` is the device's name already in upper case;
// a trailing "(port)" of it is dropped, other parentheses become brackets and
// control characters blanks, so that the line's first pair of parentheses holds
// the port and nothing else. A device with no name is listed under its port.
std::wstring PortListLine(std::wstring_view upperName, std::wstring_view portName);

// True when the two port names are the same, ignoring the case of ASCII letters.
bool SamePortName(std::wstring_view a, std::wstring_view b);
