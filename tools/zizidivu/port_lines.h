// The lines of listport.txt as ZiziDivu writes them: one port a line, in
// ascending COM number order, each line's first pair of parentheses holding
// the port. Portable text code, so that the host tests check it. Called on the
// tool's only thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the tool gathers about one port.
struct SerialPortEntry {
    std::wstring name;                     // the driver's name for the device, as it gives it
    std::wstring upperName;                // the same in upper case, by the system's rules
    std::wstring port;                     // "COM5"
    std::vector<std::wstring> hardwareIds; // "USB\VID_1A86&PID_7523&REV_0264", ...
    unsigned long problem = 0;             // the device node's problem code; 0 when none
};

// The two cable families the configurator supports.
enum CableKind { CableNone, CableProlific, CableWch };

// The cable family of a device from its hardware IDs: the vendor of its first
// USB ID (USB\VID_067B... Prolific, USB\VID_1A86... WCH), else CableNone.
CableKind CableOfHardwareIds(const std::vector<std::wstring>& ids);

// The list line of one port, or the empty string when the port name cannot be
// written so that a reader would get it back (empty, or holding parentheses or
// control characters).
// - A device with a problem code: "DEVICE PROBLEM <code> (port)", then its
//   name in lower case, so that no marker can occur in the line.
// - A supported cable: its marker, " (port)", then the driver's own name when
//   it is not the marker itself.
// - Any other device: as PortListLine gives it.
std::wstring DeviceListLine(const SerialPortEntry& entry);

// The lines of all ports, in ascending COM number order; names that are not
// COM<number> follow, in the order of their text.
std::vector<std::wstring> PortListLines(const std::vector<SerialPortEntry>& entries);

// The list line for a port, from the device's name in upper case: a trailing
// "(port)" of it is dropped, other parentheses become brackets and control
// characters blanks, so that the line's first pair of parentheses holds the
// port and nothing else. A device with no name is listed under its port.
// Empty when the port name cannot be written (see DeviceListLine).
std::wstring PortListLine(std::wstring_view upperName, std::wstring_view portName);

// True when the two port names are the same, ignoring the case of ASCII letters.
bool SamePortName(std::wstring_view a, std::wstring_view b);
