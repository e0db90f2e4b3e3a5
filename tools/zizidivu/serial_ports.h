// The serial ports present on this machine, as ZiziDivu lists them: the Ports
// device class through SetupAPI, then the ports of the SERIALCOMM device map
// that SetupAPI did not report. Called on the tool's only thread.
#pragma once

#include <string>
#include <vector>

struct SerialPortEntry {
    std::wstring name; // the device's friendly name, or what stands for it
    std::wstring port; // "COM5"
};

std::vector<SerialPortEntry> ListSerialPorts();

// The text in upper case, as the configurator's driver markers are.
std::wstring UpperCase(const std::wstring& text);
