// The serial ports present on this machine, as ZiziDivu lists them: the Ports
// device class through SetupAPI (names, hardware IDs, problem codes), then the
// ports of the SERIALCOMM device map that SetupAPI did not report. Gathers the
// facts only; port_lines decides what to write. Called on the tool's only
// thread.
#pragma once

#include <string>
#include <vector>

#include "tools/zizidivu/port_lines.h"

// In the order the system gives them; every entry's upperName is filled.
std::vector<SerialPortEntry> ListSerialPorts();

// The text in upper case, as the configurator's driver markers are.
std::wstring UpperCase(const std::wstring& text);
