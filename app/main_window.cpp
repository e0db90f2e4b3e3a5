// The configurator's one window: three group frames, the two mode options,
// the direction list and the Write and Read buttons, and the handlers that
// keep the list's enabled state in step with the mode. GUI thread.
#include "app/main_window.h"

#include "app/toolkit/toolkit.h"

#include <cstdlib>
#include <string>

uint32_t MainWindow;
uint32_t FrameMode;
uint32_t OptStandalone;
uint32_t OptSlave;
uint32_t FrameDirection;
uint32_t DirectionList;
uint32_t FrameLink;
uint32_t BtnWrite;
uint32_t BtnRead;

void CreateMainWindow() {
    MainWindow = WindowOpen(914, 52, 286, 99, L"Конфигуратор      Tumark v. " TUMARK_VERSION,
                            WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WindowFlagCentre);
    if (!MainWindow) {
        return;
    }
    FrameMode = FrameCreate(5, 5, 100, 90, L"Режим");
    OptStandalone = OptionCreate(10, 30, 85, 20, L"Автономный");
    GadgetSetState(OptStandalone, 1);
    // Made straight after the first option, so the two form one group.
    OptSlave = OptionCreate(10, 60, 80, 20, L"Ведомый");
    FrameDirection = FrameCreate(105, 5, 90, 90, L"Направление");
    DirectionList = DropListCreate(125, 40, 45, 20);
    // A screen reader would name the list after a static text before it;
    // the frame is not one, so without this it would say only the number.
    GadgetSetName(DirectionList, L"Направление");
    GadgetDisable(DirectionList, 1);
    for (unsigned long i = 1; i <= 16; ++i) {
        wchar_t text[3];
        DropListAddItem(DirectionList, -1, _ultow(i, text, 10));
    }
    GadgetSetText(DirectionList, L"1");
    FrameLink = FrameCreate(195, 5, 87, 90, L"Связь");
    BtnWrite = ButtonCreate(205, 25, 65, 20, L"Запись");
    BtnRead = ButtonCreate(205, 60, 65, 20, L"Чтение");
}

// The options select themselves; the handlers only follow with the list:
// a direction means something in slave mode only. A click that left its
// option unselected changes nothing: Windows sends one when an unselected
// automatic option gets the keyboard focus.
void OnStandaloneClick(uint32_t eventType) {
    if (eventType == EventTypeClick && GadgetGetState(OptStandalone) == 1) {
        GadgetDisable(DirectionList, 1);
    }
}

void OnSlaveClick(uint32_t eventType) {
    if (eventType == EventTypeClick && GadgetGetState(OptSlave) == 1) {
        GadgetDisable(DirectionList, 0);
    }
}

// A choice in the list takes effect when a command reads it.
void OnDirectionChange(uint32_t) {}
