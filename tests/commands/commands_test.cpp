// The Write and Read commands in process, with the real window and toolkit
// and the discovery, port, exchange and message functions swapped for fakes:
// every outcome of the two message tables, the retries, the request values
// taken from the window and the window update after a read; and with the
// real link over the stand-in driver, a line stuck at each step in turn.
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

#include <array>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace {

struct Shown {
    std::wstring caption, text;
    uint32_t style;
    uint64_t at; // LinkMicroseconds() when the box came up
    // The window as it was while the box was up.
    std::wstring direction;
    int32_t standalone;
};

struct Request {
    std::array<uint32_t, 7> bytes;
};

// The fake world the commands see during one test.
struct World {
    std::wstring port = L"COM7";
    uintptr_t openResult = 0x1234;
    bool open = false;
    int opens = 0, closes = 0, discoveries = 0;
    std::deque<uint8_t> results;    // one per exchange; ExchangeOk when empty
    std::array<uint8_t, 8> reply{}; // what an accepted exchange leaves in RxFrame
    std::vector<Request> requests;
    std::vector<Shown> shown;
    bool openAtMessage = false;
    bool driverHolds = false; // a driver still keeps a call of ours
    // Whether the wait cursor was up while the command worked (discovery and
    // each exchange) and while its message was shown.
    std::vector<bool> waitAtWork, waitAtMessage;
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
bool FakeIsOpen(uint32_t port) {
    return port == 0 && world->open;
}
void FakeClose(uint32_t port) {
    if (port == 0 && world->open) {
        world->open = false;
        ++world->closes;
    }
}
uintptr_t FakeOpen(uint32_t port, const wchar_t* name, uint32_t baud, uint32_t parity,
                   uint32_t dataBits, double stopBits, uint32_t handshake, uint32_t inQueue,
                   uint32_t outQueue) {
    ++world->opens;
    EXPECT_EQ(port, 0u);
    EXPECT_EQ(std::wstring(name), world->port);
    EXPECT_EQ(baud, 9600u);
    EXPECT_EQ(parity, 2u);
    EXPECT_EQ(dataBits, 8u);
    EXPECT_EQ(stopBits, 1.0);
    EXPECT_EQ(handshake, 0u);
    EXPECT_EQ(inQueue, 255u);
    EXPECT_EQ(outQueue, 255u);
    world->open = world->openResult >= 1;
    return world->openResult;
}
uint8_t FakeExchange(uint32_t b0, uint32_t b1, uint32_t b2, uint32_t b3, uint32_t b4, uint32_t b5,
                     uint32_t b6) {
    EXPECT_TRUE(world->open) << "exchange on a closed port";
    world->requests.push_back({{b0, b1, b2, b3, b4, b5, b6}});
    world->waitAtWork.push_back(WaitCursorShown());
    uint8_t result = ExchangeOk;
    if (!world->results.empty()) {
        result = world->results.front();
        world->results.pop_front();
    }
    if (result == ExchangeOk) {
        for (size_t i = 0; i < 8; ++i) {
            RxFrame[i] = world->reply[i];
        }
    } else if (result == ExchangeBadReply) {
        for (size_t i = 0; i < 8; ++i) {
            RxFrame[i] = 0;
        }
    }
    return result;
}
bool FakeHolds() {
    return world->driverHolds;
}
int FakeShow(const wchar_t* caption, const wchar_t* text, uint32_t style) {
    world->shown.push_back({caption, text, style, LinkMicroseconds(), GadgetGetText(DirectionList),
                            GadgetGetState(OptStandalone)});
    world->openAtMessage = world->open;
    world->waitAtMessage.push_back(WaitCursorShown());
    return IDOK;
}

std::array<uint8_t, 8> Reply(uint8_t direction, uint8_t mode, uint8_t lead = 0) {
    std::array<uint8_t, 8> r = {lead,     HostAddress, DeviceAddress, FrameFixed,
                                CmdReply, direction,   mode,          0};
    BuildFrame(r.data(), r[0], r[1], r[2], r[3], r[4], r[5], r[6]);
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
        CommandLink = {FakeFind,     FakeIsOpen, FakeClose, FakeOpen,
                       FakeExchange, FakeShow,   FakeHolds};
        world = &w;
        SetWindow(L"1", true);
    }
    void TearDown() override {
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
        return {GadgetGetText(DirectionList), GadgetGetState(OptStandalone),
                GadgetGetState(OptSlave),
                IsWindowEnabled(GetDlgItem(WindowHandle(MainWindow), DirectionList)) != 0};
    }
    // A fresh fake world with this cable, open result, exchange results and
    // reply, then one click of Read or Write.
    void Press(bool read, const wchar_t* port, uintptr_t openResult,
               const std::deque<uint8_t>& results, const std::array<uint8_t, 8>& reply,
               bool driverHolds = false) {
        w = World{};
        w.port = port;
        w.openResult = openResult;
        w.driverHolds = driverHolds;
        w.results = results;
        w.reply = reply;
        read ? ReadCommand(EventTypeClick) : WriteCommand(EventTypeClick);
    }
    void ExpectOneMessage(const std::wstring& caption, const std::wstring& text, uint32_t style) {
        ASSERT_EQ(w.shown.size(), 1u);
        EXPECT_EQ(w.shown[0].caption, caption);
        EXPECT_EQ(w.shown[0].text, text);
        EXPECT_EQ(w.shown[0].style, style);
        EXPECT_FALSE(w.open) << "port left open";
    }
    World w;
    CommandServices saved{};
};

TEST_F(Commands, OtherEventTypesDoNothing) {
    for (uint32_t type : {1u, 5u, 768u, 0xFFFFFFFFu}) {
        WriteCommand(type);
        ReadCommand(type);
    }
    EXPECT_EQ(w.discoveries, 0);
    EXPECT_EQ(w.opens, 0);
    EXPECT_TRUE(w.requests.empty());
    EXPECT_TRUE(w.shown.empty());
}

TEST_F(Commands, TheWaitCursorShowsWhileWorkingAndNeverOverAMessage) {
    struct Case {
        const char* what;
        const wchar_t* port;
        uintptr_t openResult;
        std::deque<uint8_t> results;
        std::array<uint8_t, 8> reply;
    };
    const Case cases[] = {
        {"no cable", L"", 1, {}, {}},
        {"port busy", L"COM7", 0, {}, {}},
        {"link failure", L"COM7", 1, {ExchangePortClosed}, {}},
        {"silent", L"COM7", 1, {3, 3, 3, 3, 3, 3}, {}},
        {"EEPROM error", L"COM7", 1, {}, Reply(9, ModeSlave)},
        {"success", L"COM7", 1, {}, Reply(1, ModeStandalone)},
    };
    const HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    const HCURSOR cross = LoadCursorW(nullptr, IDC_CROSS);
    for (const Case& c : cases) {
        for (bool read : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (read ? ", Read" : ", Write"));
            // Whatever cursor the user had comes back afterwards.
            const HCURSOR before = read ? cross : arrow;
            SetCursor(before);
            Press(read, c.port, c.openResult, c.results, c.reply);
            ASSERT_EQ(w.waitAtMessage.size(), 1u);
            EXPECT_FALSE(w.waitAtMessage[0]) << "the box came up under the wait cursor";
            ASSERT_FALSE(w.waitAtWork.empty());
            for (bool wait : w.waitAtWork) {
                EXPECT_TRUE(wait) << "no wait cursor while the command worked";
            }
            EXPECT_EQ(GetCursor(), before);
        }
    }
}

// Each outcome of a press, for both commands: its one message, how far the
// command got (opens, requests) and, for a failed Read, a window untouched.
// A silent line gets exactly six requests even when a seventh would succeed;
// a port that closed is not retried; an answer on the sixth still counts.
TEST_F(Commands, EachOutcomeGivesItsMessageAfterTheRightNumberOfRequests) {
    struct Case {
        const char* what;
        const wchar_t* port;
        uintptr_t openResult;
        std::deque<uint8_t> results;
        int opens;
        size_t requests;
        const wchar_t* caption;
        uint32_t style;
        const std::wstring* writeText;
        const std::wstring* readText;
        bool driverHolds = false;
    };
    const Case cases[] = {
        {"no cable", L"", 1, {}, 0, 0, L"Внимание", 16, &WriteNotFound, &ReadNotFound},
        {"port busy", L"COM7", 0, {}, 1, 0, L"Внимание", 16, &WriteBusy, &ReadBusy},
        // The open failed while a driver kept a call of ours: not another program.
        {"driver keeps our call",
         L"COM7",
         0,
         {},
         1,
         0,
         L"Внимание",
         16,
         &WriteLink,
         &ReadLink,
         true},
        {"port closed",
         L"COM7",
         1,
         {ExchangePortClosed, ExchangeOk},
         1,
         1,
         L"Внимание",
         16,
         &WriteLink,
         &ReadLink},
        // A call the driver kept past its cancel: no further try gets through.
        {"driver keeps the exchange's call",
         L"COM7",
         1,
         {ExchangeTimeout, ExchangeOk},
         1,
         1,
         L"Внимание",
         16,
         &WriteLink,
         &ReadLink,
         true},
        {"silent",
         L"COM7",
         1,
         {ExchangeTimeout, ExchangeBadReply, ExchangeBadReply, ExchangeTimeout, ExchangeBadReply,
          ExchangeTimeout, ExchangeOk},
         1,
         6,
         L"Внимание",
         16,
         &WriteSilent,
         &ReadSilent},
        {"answer on the sixth",
         L"COM7",
         1,
         {ExchangeBadReply, ExchangeBadReply, ExchangeTimeout, ExchangeBadReply, ExchangeTimeout,
          ExchangeOk},
         1,
         6,
         L"Выполнено",
         64,
         &WriteDone,
         &ReadDone},
    };
    for (const Case& c : cases) {
        for (bool read : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.what << (read ? ", Read" : ", Write"));
            SetWindow(L"1", true);
            const auto before = Window();
            // The reply repeats what the window sends, so there is no EEPROM error.
            Press(read, c.port, c.openResult, c.results, Reply(1, ModeStandalone), c.driverHolds);
            ExpectOneMessage(c.caption, read ? *c.readText : *c.writeText, c.style);
            EXPECT_EQ(w.discoveries, 1);
            EXPECT_EQ(w.opens, c.opens);
            EXPECT_EQ(w.requests.size(), c.requests);
            EXPECT_TRUE(Window() == before);
        }
    }
}

TEST_F(Commands, WriteSendsTheWindowsSettings) {
    struct Case {
        const wchar_t* direction;
        bool standalone;
        std::array<uint32_t, 7> request;
    } cases[] = {
        {L"1", true, {0, 14, 11, 8, 201, 1, 2}},
        {L"7", false, {0, 14, 11, 8, 201, 7, 1}},
        {L"16", false, {0, 14, 11, 8, 201, 16, 1}},
        {L"16", true, {0, 14, 11, 8, 201, 16, 2}}, // greyed direction still sent
    };
    for (const auto& c : cases) {
        w = World{};
        SetWindow(c.direction, c.standalone);
        w.reply = Reply(static_cast<uint8_t>(c.request[5]), static_cast<uint8_t>(c.request[6]));
        WriteCommand(EventTypeClick);
        ASSERT_EQ(w.requests.size(), 1u) << c.direction;
        EXPECT_EQ(w.requests[0].bytes, c.request) << c.direction;
        ExpectOneMessage(L"Выполнено", WriteDone, 64);
    }
}

TEST_F(Commands, ReadSendsTheWindowsSettingsToo) {
    SetWindow(L"7", false);
    w.reply = Reply(7, ModeSlave);
    ReadCommand(EventTypeClick);
    ASSERT_EQ(w.requests.size(), 1u);
    std::array<uint32_t, 7> want = {0, 14, 11, 8, 202, 7, 1};
    EXPECT_EQ(w.requests[0].bytes, want);
}

TEST_F(Commands, WriteReplyThatDiffersIsAnEepromErrorNotRetried) {
    SetWindow(L"5", false);
    for (auto reply : {Reply(6, ModeSlave), Reply(5, ModeStandalone), Reply(0, 0)}) {
        w = World{};
        w.reply = reply;
        WriteCommand(EventTypeClick);
        ExpectOneMessage(L"Внимание", L"Ошибка EEPROM", 16);
        EXPECT_EQ(w.requests.size(), 1u);
    }
    // Byte 0 of the reply plays no part in the comparison.
    w = World{};
    w.reply = Reply(5, ModeSlave, 0xFF);
    WriteCommand(EventTypeClick);
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
        w = World{};
        SetWindow(c.startDirection, c.startStandalone);
        auto before = Window();
        w.reply = Reply(c.replyDirection, c.replyMode);
        ReadCommand(EventTypeClick);
        ExpectOneMessage(L"Выполнено", ReadDone, 64);
        // While the message was up the window was still as before.
        EXPECT_EQ(w.shown[0].direction, before.direction);
        EXPECT_EQ(w.shown[0].standalone, before.standalone);
        EXPECT_TRUE(Window() == c.after)
            << "reply " << int(c.replyDirection) << "/" << int(c.replyMode) << ": got "
            << Window().standalone << Window().slave << Window().listEnabled;
    }
}

TEST_F(Commands, PortIsClosedOnlyAfterTheMessageAndReopenedOnTheNextPress) {
    w.reply = Reply(1, ModeStandalone);
    WriteCommand(EventTypeClick);
    EXPECT_TRUE(w.openAtMessage);
    EXPECT_FALSE(w.open);
    WriteCommand(EventTypeClick);
    ReadCommand(EventTypeClick);
    EXPECT_EQ(w.discoveries, 3);
    EXPECT_EQ(w.opens, 3);
    EXPECT_EQ(w.closes, 3);
    EXPECT_EQ(w.shown.size(), 3u);
}

TEST_F(Commands, PortLeftOpenIsClosedBeforeTheNewOpen) {
    w.open = true; // as if an earlier run had left it
    w.reply = Reply(1, ModeStandalone);
    WriteCommand(EventTypeClick);
    EXPECT_EQ(w.closes, 2);
    EXPECT_EQ(w.opens, 1);
}

// The real port table and exchange over a driver that a wedged cable holds
// at one step in turn: each press gets its message within 4 s of the press,
// a kept close gives the window back within 1 s of the box, and Exit does
// not wait for it. While the driver keeps a call of ours, the next press is
// told at once and the driver is not asked again; once it lets go, every
// handle it gave is closed and the next press works.
TEST_F(Commands, AWedgedLineGetsItsMessageInTimeAndTheNextPressWorks) {
    using standin::Stall;
    struct Case {
        const char* what;
        bool open, setState, close;
        Stall write, read;
        const std::wstring* text;
        bool kept; // the driver still holds a call of ours after the press
    };
    const Case cases[] = {
        {"healthy", false, false, false, Stall::None, Stall::None, &WriteDone, false},
        {"open", true, false, false, Stall::None, Stall::None, &WriteLink, true},
        {"line settings", false, true, false, Stall::None, Stall::None, &WriteLink, true},
        {"first write", false, false, false, Stall::IgnoresCancel, Stall::None, &WriteLink, true},
        // A driver that gives up each write at its cancel: six tries.
        {"every write, cancelled", false, false, false, Stall::UntilCancel, Stall::None,
         &WriteSilent, false},
        {"first read", false, false, false, Stall::None, Stall::IgnoresCancel, &WriteLink, true},
        {"close", false, false, true, Stall::None, Stall::None, &WriteDone, true},
    };
    standin::FakeLine line;
    ASSERT_TRUE(standin::StandInBegin(line));
    CommandLink = {FakeFind,      SerialIsOpen, SerialClose,      SerialOpen,
                   ExchangeFrame, FakeShow,     SerialDriverHolds};
    const uintptr_t firstHandle = line.nextHandle;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool stuck : {true, false}) {
            w = World{};
            ResetEvent(line.released);
            line.blockOpen = stuck && c.open;
            line.blockSetState = stuck && c.setState;
            line.blockClose = stuck && c.close;
            line.writeStall = stuck ? c.write : Stall::None;
            line.readStall = stuck ? c.read : Stall::None;
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
                line.path.clear();
                EXPECT_LT(standin::Took([] { WriteCommand(EventTypeClick); }), 100.0);
                ASSERT_EQ(w.shown.size(), 1u);
                EXPECT_EQ(w.shown[0].text, WriteLink);
                EXPECT_TRUE(line.path.empty()) << "a driver that keeps a call was asked again";
            }
            // The driver lets go.
            line.blockOpen = line.blockSetState = line.blockClose = false;
            line.writeStall = line.readStall = Stall::None;
            standin::CompleteHeld();
            for (int i = 0; i < 100 && SerialDriverHolds(); ++i) {
                Sleep(10);
            }
            EXPECT_EQ(line.closed.size(), line.nextHandle - firstHandle)
                << "a handle the driver gave was not closed";
            {
                CriticalSectionLock hold(standin::gQueueLock);
                line.queue.clear();
            }
        }
    }
    standin::StandInEnd(line);
}

} // namespace
