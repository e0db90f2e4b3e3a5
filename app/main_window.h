// The configurator's one window: its controls, their identifiers and the small
// handlers that the main loop calls for the mode options and the list.
// GUI thread only.
#pragma once

#include <cstdint>

extern uint32_t MainWindow;
extern uint32_t FrameMode;
extern uint32_t OptStandalone;
extern uint32_t OptSlave;
extern uint32_t FrameDirection;
extern uint32_t DirectionList;
extern uint32_t FrameLink;
extern uint32_t BtnWrite;
extern uint32_t BtnRead;

void CreateMainWindow();
void OnStandaloneClick(uint32_t eventType);
void OnSlaveClick(uint32_t eventType);
void OnDirectionChange(uint32_t eventType);
