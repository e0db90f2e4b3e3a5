// The Write and Read commands behind the two buttons. GUI thread.
#pragma once

#include <cstdint>
#include <string>

void WriteCommand(uint32_t eventType);
void ReadCommand(uint32_t eventType);

// The two things outside the program a command depends on: which port the
// cable is on (found by another program over the system's device list) and
// the user's answer to a modal box. The entries point at the real discovery
// and message box; tests swap them to plug or pull the cable and to read
// the message without a user.
struct CommandServices {
    std::wstring (*findDevicePort)();
    int (*messageShow)(const wchar_t* caption, const wchar_t* text, uint32_t style);
};

extern CommandServices CommandLink;
