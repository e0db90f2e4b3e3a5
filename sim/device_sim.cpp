// The device simulator: plays the controller on a pty pair for the tests,
// the demo and anyone without the hardware. It links the pty's host end at a
// given path (a Wine prefix's dosdevices/comN), answers well-formed write and
// read requests from its EEPROM, logs every byte with a millisecond time
// stamp, and can misbehave in the ways a real line or device does.
// Native POSIX program; one thread.
#include "link/frame.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// How the device misbehaves; the command line sets them and the control
// file, re-read before each request, replaces them.
struct Faults {
    bool silent = false;
    int ignoreFirst = 0;
    int delayMs = 0;
    bool badChecksum = false;
    int shortReply = -1; // send only this many bytes of the reply
    int extra = 0;       // bytes after the reply
    int noise = 0;       // bytes before the reply
    int flood = 0;       // bytes of garbage before the reply
    bool echo = false;
    bool eepromFault = false;
    int hangupAfter = -1;
    bool stopReading = false;
    int trail = 0;       // bytes of garbage sent after the reply, between replies
    int trailMs = 50;    // how long after the reply they follow
    int badFirst = 0;    // the first N replies carry a wrong checksum, and come at once
    bool reopen = false; // after a hang-up, come back on a new pty under the same link
};

struct Options {
    std::string link, log, control, eeprom;
    int seconds = 600;
    int direction = 1, mode = ModeStandalone, lead = 0;
    Faults faults;
};

volatile sig_atomic_t gStop = 0;
FILE* gLog = nullptr;
timespec gStart;

long Millis() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (now.tv_sec - gStart.tv_sec) * 1000 + (now.tv_nsec - gStart.tv_nsec) / 1000000;
}

void Log(const char* what, const uint8_t* bytes, size_t n) {
    if (!gLog) {
        return;
    }
    std::fprintf(gLog, "%ld %s", Millis(), what);
    for (size_t i = 0; i < n; ++i) {
        std::fprintf(gLog, " %02X", bytes[i]);
    }
    std::fprintf(gLog, "\n");
    std::fflush(gLog);
}

void Note(const std::string& text) {
    if (gLog) {
        std::fprintf(gLog, "%ld %s\n", Millis(), text.c_str());
        std::fflush(gLog);
    }
}

bool ParseFault(const std::vector<std::string>& a, size_t& i, Faults& f) {
    auto num = [&](int& out) {
        if (i + 1 >= a.size()) {
            return false;
        }
        out = std::atoi(a[++i].c_str());
        return true;
    };
    const std::string& w = a[i];
    if (w == "--silent") {
        f.silent = true;
    } else if (w == "--bad-checksum") {
        f.badChecksum = true;
    } else if (w == "--echo") {
        f.echo = true;
    } else if (w == "--eeprom-fault") {
        f.eepromFault = true;
    } else if (w == "--stop-reading") {
        f.stopReading = true;
    } else if (w == "--reopen") {
        f.reopen = true;
    } else if (w == "--bad-first") {
        return num(f.badFirst);
    } else if (w == "--trail") {
        return num(f.trail);
    } else if (w == "--trail-ms") {
        return num(f.trailMs);
    } else if (w == "--ignore-first") {
        return num(f.ignoreFirst);
    } else if (w == "--delay-ms") {
        return num(f.delayMs);
    } else if (w == "--short") {
        return num(f.shortReply);
    } else if (w == "--extra") {
        return num(f.extra);
    } else if (w == "--noise") {
        return num(f.noise);
    } else if (w == "--flood") {
        return num(f.flood);
    } else if (w == "--hangup-after") {
        return num(f.hangupAfter);
    } else {
        return false;
    }
    return true;
}

bool ParseOptions(int argc, char** argv, Options& o) {
    std::vector<std::string> a(argv + 1, argv + argc);
    for (size_t i = 0; i < a.size(); ++i) {
        auto str = [&](std::string& out) {
            if (i + 1 >= a.size()) {
                return false;
            }
            out = a[++i];
            return true;
        };
        auto num = [&](int& out) {
            if (i + 1 >= a.size()) {
                return false;
            }
            out = std::atoi(a[++i].c_str());
            return true;
        };
        bool ok;
        if (a[i] == "--link") {
            ok = str(o.link);
        } else if (a[i] == "--log") {
            ok = str(o.log);
        } else if (a[i] == "--control") {
            ok = str(o.control);
        } else if (a[i] == "--eeprom") {
            ok = str(o.eeprom);
        } else if (a[i] == "--seconds") {
            ok = num(o.seconds);
        } else if (a[i] == "--direction") {
            ok = num(o.direction);
        } else if (a[i] == "--mode") {
            ok = num(o.mode);
        } else if (a[i] == "--lead") {
            ok = num(o.lead);
        } else {
            ok = ParseFault(a, i, o.faults);
        }
        if (!ok) {
            std::fprintf(stderr, "tumark_sim: bad option %s\n", a[i].c_str());
            return false;
        }
    }
    return true;
}

// The control file's faults, when it exists; otherwise those given.
Faults CurrentFaults(const Options& o) {
    if (o.control.empty()) {
        return o.faults;
    }
    std::ifstream in(o.control);
    if (!in) {
        return o.faults;
    }
    std::vector<std::string> words;
    for (std::string w; in >> w;) {
        words.push_back(w);
    }
    Faults f;
    for (size_t i = 0; i < words.size(); ++i) {
        if (!ParseFault(words, i, f)) {
            Note("control: ignored " + words[i]);
        }
    }
    return f;
}

void LoadEeprom(Options& o) {
    if (o.eeprom.empty()) {
        return;
    }
    std::ifstream in(o.eeprom);
    int d, m;
    if (in >> d >> m) {
        o.direction = d;
        o.mode = m;
    }
}

void SaveEeprom(const Options& o) {
    if (o.eeprom.empty()) {
        return;
    }
    std::ofstream out(o.eeprom, std::ios::trunc);
    out << o.direction << " " << o.mode << "\n";
}

void Send(int fd, const std::vector<uint8_t>& bytes) {
    size_t at = 0;
    while (at < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno == EAGAIN) {
                usleep(1000);
                continue;
            }
            Note("write failed");
            return;
        }
        at += static_cast<size_t>(n);
    }
    if (!bytes.empty()) {
        Log("TX", bytes.data(), bytes.size());
    }
}

std::vector<uint8_t> Garbage(int n) {
    std::vector<uint8_t> g(static_cast<size_t>(n));
    for (auto& b : g) {
        b = static_cast<uint8_t>(std::rand() & 0xFF);
    }
    return g;
}

// True when buf[at..at+8) is a whole well-formed request.
bool IsRequest(const std::vector<uint8_t>& buf, size_t at) {
    if (buf.size() - at < FrameSize) {
        return false;
    }
    const uint8_t* f = buf.data() + at;
    return f[ByteDest] == DeviceAddress && f[ByteSrc] == HostAddress &&
           f[ByteFixed] == FrameFixed &&
           (f[ByteCommand] == CmdWrite || f[ByteCommand] == CmdRead) &&
           ChecksumOf(f) == f[ByteChecksum];
}

// Makes the pty pair, 8-bit clean, and points the link at its slave end;
// prints and logs "ready <slave path>" so tests can find who holds it open.
bool OpenLine(const Options& o, int& master, int& slave, termios& fresh) {
    char name[256];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return false;
    }
    termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t); // 8-bit clean: no echo, no line editing, no CR/LF mapping
    tcsetattr(slave, TCSANOW, &t);
    tcgetattr(slave, &fresh);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    unlink(o.link.c_str());
    if (symlink(name, o.link.c_str()) != 0) {
        std::perror("symlink");
        return false;
    }
    std::printf("ready %s\n", name);
    std::fflush(stdout);
    Note(std::string("ready ") + name);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    clock_gettime(CLOCK_MONOTONIC, &gStart);
    Options o;
    if (!ParseOptions(argc, argv, o) || o.link.empty()) {
        std::fprintf(stderr, "usage: tumark_sim --link PATH [--log FILE] [--control FILE] "
                             "[--seconds N] [--direction D] [--mode M] [--lead B] [--eeprom FILE] "
                             "[faults]\n");
        return 2;
    }
    LoadEeprom(o);
    signal(SIGTERM, [](int) { gStop = 1; });
    signal(SIGINT, [](int) { gStop = 1; });
    signal(SIGPIPE, SIG_IGN);
    signal(SIGHUP, SIG_IGN);
    if (!o.log.empty()) {
        gLog = std::fopen(o.log.c_str(), "a");
    }

    // Our own session, with the pty as its controlling terminal, so that
    // Wine's server does not take it as its own and get SIGHUP on hang-up.
    setsid();
    int master = -1, slave = -1;
    termios fresh;
    if (!OpenLine(o, master, slave, fresh)) {
        return 1;
    }

    std::vector<uint8_t> buf;
    int requests = 0;
    bool reading = true;
    while (!gStop && Millis() < o.seconds * 1000L) {
        // Under Wine 8 a second SetCommState with even parity on a pty fails
        // (error 87) once an earlier open has set the line up; a real driver
        // has no such state. Put the line back as it was made between opens.
        termios now;
        if (tcgetattr(slave, &now) == 0 && std::memcmp(&now, &fresh, sizeof(now)) != 0) {
            usleep(200000); // let the open that changed it finish first
            tcsetattr(slave, TCSANOW, &fresh);
        }
        if (!reading && !CurrentFaults(o).stopReading) {
            reading = true; // what queued up meanwhile is read now
            Note("reading again");
        }
        pollfd p = {master, static_cast<short>(reading ? POLLIN : 0), 0};
        int r = poll(&p, 1, 50);
        if (r <= 0 || !(p.revents & POLLIN)) {
            continue;
        }
        uint8_t chunk[4096];
        ssize_t n = read(master, chunk, sizeof(chunk));
        if (n <= 0) {
            continue;
        }
        Log("RX", chunk, static_cast<size_t>(n));
        buf.insert(buf.end(), chunk, chunk + n);

        size_t at = 0;
        while (buf.size() - at >= FrameSize) {
            if (!IsRequest(buf, at)) {
                ++at; // not the start of a request: slide over it
                continue;
            }
            uint8_t req[FrameSize];
            std::memcpy(req, buf.data() + at, FrameSize);
            at += FrameSize;
            ++requests;
            Log("REQ", req, FrameSize);
            Faults f = CurrentFaults(o);
            if (f.stopReading) {
                reading = false;
                Note("stopped reading");
                break;
            }
            const bool hangUp = f.hangupAfter >= 0 && requests >= f.hangupAfter;
            if ((f.silent || requests <= f.ignoreFirst) && !hangUp) {
                continue;
            }
            if (req[ByteCommand] == CmdWrite) {
                o.direction = req[ByteDirection] + (f.eepromFault ? 1 : 0);
                o.mode = req[ByteMode];
                SaveEeprom(o);
            }
            uint8_t reply[FrameSize];
            if (f.echo) {
                std::memcpy(reply, req, FrameSize);
            } else {
                BuildFrame(reply, static_cast<uint32_t>(o.lead), HostAddress, DeviceAddress,
                           FrameFixed, CmdReply, static_cast<uint32_t>(o.direction),
                           static_cast<uint32_t>(o.mode));
            }
            const bool badNow = requests <= f.badFirst;
            if (f.badChecksum || badNow) {
                reply[ByteChecksum] ^= 0x5A;
            }
            if (f.delayMs > 0 && !badNow) {
                usleep(static_cast<useconds_t>(f.delayMs) * 1000);
            }
            std::vector<uint8_t> out = Garbage(f.noise + f.flood);
            size_t len = f.shortReply >= 0 && f.shortReply < static_cast<int>(FrameSize)
                             ? static_cast<size_t>(f.shortReply)
                             : FrameSize;
            out.insert(out.end(), reply, reply + len);
            auto tail = Garbage(f.extra);
            out.insert(out.end(), tail.begin(), tail.end());
            if (!f.silent && requests > f.ignoreFirst) {
                Send(master, out);
            }
            if (f.trail > 0) {
                usleep(static_cast<useconds_t>(f.trailMs) * 1000);
                Send(master, Garbage(f.trail));
            }
            if (hangUp) {
                Note("hang up");
                close(master);
                close(slave);
                unlink(o.link.c_str());
                if (!f.reopen) {
                    return 0;
                }
                usleep(300000); // the host sees the line gone before it comes back
                if (!OpenLine(o, master, slave, fresh)) {
                    return 1;
                }
                buf.clear();
                at = 0;
                reading = true;
                break;
            }
        }
        // Keep only what could still begin a request.
        if (at > 0) {
            buf.erase(buf.begin(), buf.begin() + static_cast<long>(at));
        }
        if (buf.size() > 4096) {
            buf.erase(buf.begin(), buf.end() - FrameSize);
        }
    }
    Note("end");
    unlink(o.link.c_str());
    close(master);
    close(slave);
    return 0;
}
