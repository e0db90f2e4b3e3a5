// The Write and Read commands in process, with the real window, toolkit,
// port table and exchange over the stand-in driver; only the cable's
// discovery and the message box are swapped. Every outcome of the two
// message tables, the retries, the request taken from the window, the
// window after a read, and a line stuck at each step in turn.
#include "app/main_window.h"
#include "app/toolkit/toolkit.h"
#include "commands/commands.h"
#include "common/holders.h"
#include "link/clock.h"
#include "link/exchange.h"
#include "link/frame.h"
#include "link/serial_port.h"
#include "link/worker.h"
#include "tests/link/standin_port.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

using standin::Frame;
using standin::Stall;

struct Shown {
    std::wstring caption, text;
    uint32_t style;
    uint64_t at; // LinkMicroseconds() when the box came up
    // The window and the port as they were while the box was up.
    std::wstring direction;
    int32_t standalone;
    bool portOpen;
    bool wait; // under the wait cursor
};

// What the commands showed and met during one press.
struct World {
    std::wstring port = L"COM7"; // the cable's; empty: no cable
    int discoveries = 0;
    std::vector<Shown> shown;
    // Whether the wait cursor was up while the command worked: at discovery
    // and at each of the exchange's own port calls.
    std::vector<bool> waitAtWork;
};
World* world = nullptr;

bool WaitCursorShown() {
    return GetCursor() == LoadCursorW(nullptr, IDC_WAIT);
}

std::wstring FakeFind() {
    ++world->discoveries;
    world->waitAtWork.push_back(WaitCursorShown());
    return world->port;
}
void NoteWork() {
    if (world) {
        world->waitAtWork.push_back(WaitCursorShown());
    }
}
int FakeShow(const wchar_t* caption, const wchar_t* text, uint32_t style) {
    world->shown.push_back({caption, text, style, LinkMicroseconds(), GadgetGetText(DirectionList),
                            GadgetGetState(OptStandalone), SerialIsOpen(0), WaitCursorShown()});
    return IDOK;
}

Frame Reply(uint8_t direction, uint8_t mode, uint8_t lead = 0) {
    Frame r;
    BuildFrame(r.data(), lead, HostAddress, DeviceAddress, FrameFixed, CmdReply, direction, mode);
    return r;
}

std::vector<uint8_t> Request(bool read, uint8_t direction, uint8_t mode) {
    std::vector<uint8_t> r(FrameSize);
    BuildFrame(r.data(), 0, DeviceAddress, HostAddress, FrameFixed, read ? CmdRead : CmdWrite,
               direction, mode);
    return r;
}

const std::wstring WriteNotFound =
    L"Запись отклонена!\nСистема не обнаружила соединительный шнур.\n1.Установите драйвер к "
    L"шнуру\n2. Соедините компьютер с устройством посредством шнура.\n3. Повторите попытку\n";
const std::wstring WriteBusy =
    L"Запись отклонена!\nНе удалось открыть COM порт.\nВероятно, он занят другим приложением\n\n";
const std::wstring WriteLink = L"Запись отклонена!\nНе удалось открыть COM порт.\nВероятно "
                               L"проблемы с соединительным шнуром\n\n";
const std::wstring WriteSilent = L"Запись отклонена!\nУстройство не отвечает.";
const std::wstring WriteDone = L"Операция записи выполнена удачно.";
const std::wstring ReadNotFound =
    L"Чтение отклонено!\nСистема не обнаружила соединительный шнур.\n1.Установите драйвер к "
    L"шнуру\n2. Соедините компьютер с устройством посредством шнура.\n3. Повторите попытку\n";
const std::wstring ReadBusy =
    L"Чтение отклонено!\nНе удалось открыть COM порт.\nВероятно, он занят другим приложением\n\n";
const std::wstring ReadLink = L"Чтение отклонено!\nНе удалось открыть COM порт.\nВероятно "
                              L"проблемы с соединительным шнуром\n\n";
const std::wstring ReadSilent = L"Чтение отклонено!\nУстройство не отвечает.";
const std::wstring ReadDone = L"Операция чтение выполнена удачно.";

class Commands : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static uint8_t rx[8], tx[8];
        RxFrame = rx;
        TxFrame = tx;
        ASSERT_TRUE(ToolkitStart(GetModuleHandleW(nullptr), GetProcessHeap()));
        ASSERT_TRUE(SerialTableCreate());
        ASSERT_TRUE(WorkerRegistryCreate());
        CreateMainWindow();
        ASSERT_NE(MainWindow, 0u);
    }
    void SetUp() override {
        saved = CommandLink;
        CommandLink = {FakeFind, FakeShow};
        world = &w;
        ASSERT_TRUE(standin::StandInBegin(line_));
        line_.onGuiCall = NoteWork;
        SetWindow(L"1", true);
    }
    void TearDown() override {
        standin::StandInEnd(line_);
        CommandLink = saved;
        world = nullptr;
    }
    // Puts the window into a state as a user would leave it.
    static void SetWindow(const wchar_t* direction, bool standalone) {
        GadgetSetText(DirectionList, direction);
        GadgetSetState(standalone ? OptStandalone : OptSlave, 1);
        GadgetDisable(DirectionList, standalone ? 1 : 0);
    }
    struct WindowState {
        std::wstring direction;
        int32_t standalone, slave;
        bool listEnabled;
        bool operator==(const WindowState&) const = default;
    };
    static WindowState Window() {
        const HWND list = GetDlgItem(WindowHandle(MainWindow), static_cast<int>(DirectionList));
        return {GadgetGetText(DirectionList), GadgetGetState(OptStandalone),
                GadgetGetState(OptSlave), IsWindowEnabled(list) != 0};
    }
    // One click of Read or Write with the cable on `port`.
    void Press(bool read, const wchar_t* port = L"COM7") {
        w = World{};
        w.port = port;
        read ? ReadCommand(EventTypeClick) : WriteCommand(EventTypeClick);
    }
    void ExpectOneMessage(const std::wstring& caption, const std::wstring& text, uint32_t style) {
        ASSERT_EQ(w.shown.size(), 1u);
        EXPECT_EQ(w.shown[0].caption, caption);
        EXPECT_EQ(w.shown[0].text, text);
        EXPECT_EQ(w.shown[0].style, style);
        EXPECT_FALSE(w.shown[0].wait) << "the box came up under the wait cursor";
        EXPECT_FALSE(SerialIsOpen(0)) << "port left open";
    }
    World w;
    standin::FakeLine line_;
    CommandServices saved{};
};

TEST_F(Commands, OtherEventTypesDoNothing) {
    for (uint32_t type : {1u, 5u, 768u, 0xFFFFFFFFu}) {
        WriteCommand(type);
        ReadCommand(type);
    }
    EXPECT_EQ(w.discoveries, 0);
    EXPECT_EQ(line_.opens, 0);
    EXPECT_EQ(line_.writesBegun, 0);
    EXPECT_TRUE(w.shown.empty());
}

// Each outcome of a press, for both commands: its one message, shown with
// the user's cursor back though the wait cursor was up while the command
// worked, how far the command got (opens, requests), the port closed and,
// for a failed Read, a window untouched. A silent line gets exactly six
// requests even when a seventh would be answered; a device gone is not
// retried; an answer to the sixth still counts.
TEST_F(Commands, EachOutcomeGivesItsMessageAfterTheRightNumberOfRequests) {
    struct Case {
        const char* what;
        const wchar_t* port;
        DWORD createError, goneError;
        bool answer;
        int silentFor;
        int opens, requests;
        const std::wstring* writeText;
        const std::wstring* readText;
    };
    const Case cases[] = {
        {"no cable", L"", 0, 0, true, 0, 0, 0, &WriteNotFound, &ReadNotFound},
        {"port busy", L"COM7", ERROR_ACCESS_DENIED, 0, true, 0, 1, 0, &WriteBusy, &ReadBusy},
        {"device gone", L"COM7", 0, ERROR_DEVICE_REMOVED, true, 0, 1, 0, &WriteLink, &ReadLink},
        {"silent", L"COM7", 0, 0, true, 6, 1, 6, &WriteSilent, &ReadSilent},
        {"answer to the sixth", L"COM7", 0, 0, true, 5, 1, 6, &WriteDone, &ReadDone},
        {"success", L"COM7", 0, 0, true, 0, 1, 1, &WriteDone, &ReadDone},
    };
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    const HCURSOR cross = LoadCursorW(nullptr, IDC_CROSS);
    for (const Case& c : cases) {
        for (bool read : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (read ? ", Read" : ", Write"));
            SetWindow(L"1", true);
            const auto before = Window();
            line_.opens = 0;
            line_.writesBegun = 0;
            line_.createError = c.createError;
            line_.goneError = c.goneError;
            line_.silentFor = c.silentFor;
            // Whatever cursor the user had comes back afterwards.
            const HCURSOR cursor = read ? cross : arrow;
            SetCursor(cursor);
            // The device repeats what the window sends: no EEPROM error.
            Press(read, c.port);
            const bool done = c.writeText == &WriteDone;
            ExpectOneMessage(done ? L"Выполнено" : L"Внимание", read ? *c.readText : *c.writeText,
                             done ? MB_ICONINFORMATION : MB_ICONERROR);
            EXPECT_EQ(w.discoveries, 1);
            EXPECT_EQ(line_.opens, c.opens);
            EXPECT_EQ(line_.writesBegun, c.requests);
            EXPECT_TRUE(Window() == before);
            ASSERT_EQ(w.shown.size(), 1u);
            EXPECT_EQ(w.shown[0].portOpen, c.opens && !c.createError)
                << "the port is closed only after the message";
            EXPECT_GE(w.waitAtWork.size(), 1u + c.requests);
            for (bool wait : w.waitAtWork) {
                EXPECT_TRUE(wait) << "no wait cursor while the command worked";
            }
            EXPECT_EQ(GetCursor(), cursor);
            line_.createError = line_.goneError = 0;
            line_.silentFor = 0;
            line_.queue.clear();
        }
    }
}

// The port as the device needs it, and the request from the window: the
// list's direction (a greyed one too) and the chosen mode.
TEST_F(Commands, EachCommandSendsTheWindowsSettings) {
    struct Case {
        bool read;
        const wchar_t* direction;
        bool standalone;
        uint8_t sentDirection, sentMode;
    } cases[] = {
        {false, L"1", true, 1, 2},   {false, L"7", false, 7, 1}, {false, L"16", false, 16, 1},
        {false, L"16", true, 16, 2}, {true, L"7", false, 7, 1},  {true, L"12", true, 12, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.read ? "Read " : "Write ") << c.sentDirection);
        SetWindow(c.direction, c.standalone);
        line_.written.clear();
        Press(c.read);
        EXPECT_EQ(line_.written, Request(c.read, c.sentDirection, c.sentMode));
        ASSERT_EQ(w.shown.size(), 1u);
        EXPECT_EQ(w.shown[0].text, c.read ? ReadDone : WriteDone);
    }
    EXPECT_EQ(line_.path, L"\\\\.\\COM7");
    EXPECT_EQ(line_.set.BaudRate, 9600u);
    EXPECT_EQ(line_.set.ByteSize, 8);
    EXPECT_EQ(line_.set.Parity, EVENPARITY);
    EXPECT_EQ(line_.set.StopBits, ONESTOPBIT);
    EXPECT_EQ(line_.set.fOutxCtsFlow, 0u);
    EXPECT_EQ(line_.set.fOutX, 0u);
    EXPECT_EQ(line_.setupIn, 255u);
    EXPECT_EQ(line_.setupOut, 255u);
}

TEST_F(Commands, WriteReplyThatDiffersIsAnEepromErrorNotRetried) {
    SetWindow(L"5", false);
    for (auto reply : {Reply(6, ModeSlave), Reply(5, ModeStandalone), Reply(0, 0)}) {
        line_.reply = reply;
        line_.writesBegun = 0;
        Press(false);
        ExpectOneMessage(L"Внимание", L"Ошибка EEPROM", 16);
        EXPECT_EQ(line_.writesBegun, 1);
    }
    // Byte 0 of the reply plays no part in the comparison.
    line_.reply = Reply(5, ModeSlave, 0xFF);
    Press(false);
    ExpectOneMessage(L"Выполнено", WriteDone, 64);
}

TEST_F(Commands, ReadShowsTheDeviceSettingsAfterTheMessage) {
    struct Case {
        const wchar_t* startDirection;
        bool startStandalone;
        uint8_t replyDirection, replyMode;
        WindowState after;
    } cases[] = {
        {L"1", true, 16, 1, {L"16", 0, 1, true}},
        {L"9", false, 3, 2, {L"3", 1, 0, false}},
        {L"9", false, 4, 0, {L"4", 1, 0, false}}, // unknown mode shown as standalone
        {L"9", false, 4, 200, {L"4", 1, 0, false}},
        {L"9", true, 0, 1, {L"9", 0, 1, true}}, // no such item: selection kept
        {L"12", false, 200, 2, {L"12", 1, 0, false}},
        {L"2", true, 17, 1, {L"2", 0, 1, true}},
    };
    for (const auto& c : cases) {
        SetWindow(c.startDirection, c.startStandalone);
        auto before = Window();
        line_.reply = Reply(c.replyDirection, c.replyMode);
        Press(true);
        ExpectOneMessage(L"Выполнено", ReadDone, 64);
        // While the message was up the window was still as before.
        EXPECT_EQ(w.shown[0].direction, before.direction);
        EXPECT_EQ(w.shown[0].standalone, before.standalone);
        EXPECT_TRUE(Window() == c.after)
            << "reply " << int(c.replyDirection) << "/" << int(c.replyMode) << ": got "
            << Window().standalone << Window().slave << Window().listEnabled;
    }
}

TEST_F(Commands, EachPressOpensThePortAndClosesItAfterTheMessage) {
    Press(false);
    Press(false);
    Press(true);
    EXPECT_EQ(line_.opens, 3);
    EXPECT_EQ(line_.closed.size(), 3u);
}

TEST_F(Commands, PortLeftOpenIsClosedBeforeTheNewOpen) {
    // As if an earlier run had left it open.
    const uintptr_t left = SerialOpen(0, L"COM7", 9600, EVENPARITY, 8, 1.0, 0, 255, 255);
    ASSERT_NE(left, 0u);
    Press(false);
    ASSERT_EQ(line_.closed.size(), 2u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(line_.closed[0]), left);
    EXPECT_EQ(line_.opens, 2);
}

// The real port table and exchange over a driver that a wedged cable holds
// at one step in turn: each press gets its message within 4 s of the press,
// a kept close gives the window back within 1 s of the box, and Exit does
// not wait for it. While the driver keeps a call of ours, the next press is
// told at once and the driver is not asked again; once it lets go, every
// handle it gave is closed and the next press works.
TEST_F(Commands, AWedgedLineGetsItsMessageInTimeAndTheNextPressWorks) {
    struct Case {
        const char* what;
        bool open, setState, close;
        Stall write, read;
        const std::wstring* text;
        bool kept; // the driver still holds a call of ours after the press
    };
    const Case cases[] = {
        {"open", true, false, false, Stall::None, Stall::None, &WriteLink, true},
        {"line settings", false, true, false, Stall::None, Stall::None, &WriteLink, true},
        {"first write", false, false, false, Stall::IgnoresCancel, Stall::None, &WriteLink, true},
        // A driver that gives up each write at its cancel: six tries.
        {"every write, cancelled", false, false, false, Stall::UntilCancel, Stall::None,
         &WriteSilent, false},
        {"first read", false, false, false, Stall::None, Stall::IgnoresCancel, &WriteLink, true},
        {"close", false, false, true, Stall::None, Stall::None, &WriteDone, true},
    };
    const uintptr_t firstHandle = line_.nextHandle;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool stuck : {true, false}) {
            w = World{};
            ResetEvent(line_.released);
            line_.blockOpen = stuck && c.open;
            line_.blockSetState = stuck && c.setState;
            line_.blockClose = stuck && c.close;
            line_.writeStall = stuck ? c.write : Stall::None;
            line_.readStall = stuck ? c.read : Stall::None;
            const uint64_t pressed = LinkMicroseconds();
            WriteCommand(EventTypeClick);
            const uint64_t back = LinkMicroseconds();
            ASSERT_EQ(w.shown.size(), 1u);
            EXPECT_EQ(w.shown[0].text, stuck ? *c.text : WriteDone);
            const double toBox = static_cast<double>(w.shown[0].at - pressed) / 1000.0;
            const double toWindow = static_cast<double>(back - w.shown[0].at) / 1000.0;
            EXPECT_FALSE(SerialIsOpen(0));
            EXPECT_EQ(SerialDriverHolds(), stuck && c.kept);
            if (stuck) {
                std::printf("press-figure %s %.1f %.1f\n", c.what, toBox, toWindow);
                EXPECT_LT(toBox, 4000.0);
                EXPECT_LT(toWindow, 1000.0);
                EXPECT_LT(standin::Took([] {
                              CloseAllWorkers();
                              SerialCloseAll();
                          }),
                          50.0)
                    << "exit";
            }
            if (stuck && c.kept) {
                w = World{};
                line_.path.clear();
                EXPECT_LT(standin::Took([] { WriteCommand(EventTypeClick); }), 100.0);
                ASSERT_EQ(w.shown.size(), 1u);
                EXPECT_EQ(w.shown[0].text, WriteLink);
                EXPECT_TRUE(line_.path.empty()) << "a driver that keeps a call was asked again";
            }
            // The driver lets go.
            line_.blockOpen = line_.blockSetState = line_.blockClose = false;
            line_.writeStall = line_.readStall = Stall::None;
            standin::CompleteHeld();
            for (int i = 0; i < 100 && SerialDriverHolds(); ++i) {
                Sleep(10);
            }
            EXPECT_EQ(line_.closed.size(), line_.nextHandle - firstHandle)
                << "a handle the driver gave was not closed";
            EXPECT_EQ(standin::LiveEvents(), 0) << "a call's event is still open";
            {
                CriticalSectionLock hold(standin::gQueueLock);
                line_.queue.clear();
            }
        }
    }
}

} // namespace
