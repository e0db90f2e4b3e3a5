// The Write and Read commands. Not built yet: the buttons raise their events
// and the main loop hands them here, where nothing happens so far.
#include "commands/commands.h"

void WriteCommand(uint32_t) {}
void ReadCommand(uint32_t) {}
