// The Write and Read commands behind the two buttons. GUI thread.
#pragma once

#include <cstdint>

void WriteCommand(uint32_t eventType);
void ReadCommand(uint32_t eventType);
