# The click-to-message benchmark's driver side (started by bench/click/run,
# which brings the Wine bench up): runs the simulator, the configurator and
# uidriver.exe, and prints the figures.
import fcntl, os, shutil, statistics, subprocess, sys, tempfile, time

root = sys.argv[1]
# The build whose programs are pressed: win64, or win32 under Wine 10.
FLAVOR = os.environ.get("TUMARK_FLAVOR", "win64")
bench = os.environ["TUMARK_BENCH_DIR"]
prefix = os.environ["WINEPREFIX"]
runs = int(os.environ.get("RUNS", "15"))
silent_runs = int(os.environ.get("SILENT_RUNS", "3"))


def win_path(p):
    return "Z:" + os.path.abspath(p).replace("/", "\\")


def wall_ms():
    return time.clock_gettime(time.CLOCK_REALTIME) * 1000.0


# A COM number of our own, claimed the way tests/wine/with-sim claims one.
number = None
for n in range(20, 100):
    held = open(os.path.join(bench, "com%d.lock" % n), "w")
    try:
        fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
        number = n
        break
    except BlockingIOError:
        held.close()
if number is None:
    sys.exit("bench/click: no free COM number")
lock = os.path.join(bench, "com%d" % number)
shutil.rmtree(lock, ignore_errors=True)
os.makedirs(lock)
link = os.path.join(prefix, "dosdevices", "com%d" % number)
log = os.path.join(lock, "sim.log")
control = os.path.join(lock, "control")
folder = tempfile.mkdtemp(prefix="bench-click-", dir=os.path.join(prefix, "drive_c"))
sim = driver = None
seeded = False


def cleanup():
    for p in (driver, sim):
        if p and p.poll() is None:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
    if seeded:
        subprocess.run([root + "/tests/ports/seed-cable", "remove", str(number)],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for f in (link,):
        if os.path.lexists(f):
            os.unlink(f)
    shutil.rmtree(lock, ignore_errors=True)
    shutil.rmtree(folder, ignore_errors=True)


try:
    open(log, "w").close()
    sim = subprocess.Popen(["timeout", "-k", "5", "900", root + "/build/host/sim/tumark_sim",
                            "--link", link, "--log", log, "--control", control],
                           stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    line = sim.stdout.readline()
    ready_wall = wall_ms()
    if not line.startswith("ready "):
        sys.exit("bench/click: the simulator did not start")
    ready_ms = None
    for _ in range(100):
        for l in open(log):
            if " ready " in l:
                ready_ms = int(l.split()[0])
        if ready_ms is not None:
            break
        time.sleep(0.01)
    if ready_ms is None:
        sys.exit("bench/click: no ready line in the simulator's log")
    sim_epoch = ready_wall - ready_ms  # wall ms at the simulator's 0 ms

    subprocess.run([root + "/tests/ports/seed-cable", "add", "ch340", str(number)],
                   check=True, stdout=subprocess.DEVNULL)
    seeded = True
    shutil.copy(root + "/dist/" + FLAVOR + "/TumarkConfigurator.exe", folder)
    shutil.copy(root + "/dist/" + FLAVOR + "/ZiziDivu.exe", folder)
    os.mkdir(os.path.join(folder, "nop"))
    shutil.copy(root + "/build/" + FLAVOR + "/tests/ports_nop_tool.exe",
                os.path.join(folder, "nop", "nothing.exe"))
    # The same configurator in a folder whose "ZiziDivu.exe" is the do-nothing
    # program: the start is then made by the very same call from the very same
    # process, and the press ends in the cable-not-found box.
    same_way = os.path.join(folder, "same-way")
    os.mkdir(same_way)
    shutil.copy(root + "/dist/" + FLAVOR + "/TumarkConfigurator.exe", same_way)
    shutil.copy(root + "/build/" + FLAVOR + "/tests/ports_nop_tool.exe",
                os.path.join(same_way, "ZiziDivu.exe"))

    env = dict(os.environ, TUMARK_RUN_TIMEOUT=str(120 + 8 * runs + 20 * silent_runs))
    driver = subprocess.Popen([root + "/tests/wine/run", root + "/build/" + FLAVOR + "/tests/uidriver.exe"],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE, env=env,
                              stderr=subprocess.STDOUT, text=True, encoding="utf-8",
                              errors="replace")

    def ask(command, want):
        driver.stdin.write(command + "\n")
        driver.stdin.flush()
        lines = []
        while True:
            reply = driver.stdout.readline()
            if not reply:
                sys.exit("bench/click: driver ended on %r: %s" % (command, lines))
            reply = reply.rstrip("\r\n")
            lines.append(reply)
            if reply.startswith(want):
                return reply, lines
            if reply.startswith("error:"):
                sys.exit("bench/click: %s -> %s" % (command, reply))

    def stamp(reply):
        return float(reply.split("wall-ms=")[1].split()[0])

    # The driver's wall clock against the host's: the offset seen inside
    # each round trip of a "time" command.
    offsets = []
    for _ in range(20):
        before = wall_ms()
        reply, _ = ask("time", "time ")
        after = wall_ms()
        offsets.append((stamp(reply) - (before + after) / 2, after - before))
    clock_offset = statistics.median(o for o, _ in offsets)
    round_trip = statistics.median(r for _, r in offsets)

    def start_configurator(where):
        ask("launch " + win_path(os.path.join(where, "TumarkConfigurator.exe")), "launched")
        ask("wait-window", "window")
        for _ in range(100):
            _, lines = ask("dump", "focus")
            if any('text="Чтение"' in l for l in lines):
                break
            time.sleep(0.1)

    start_configurator(folder)

    def requests():
        return [sim_epoch + int(l.split()[0]) for l in open(log) if " REQ " in l]

    def press(button, want_requests, text):
        seen = len(requests())
        click = stamp(ask("timed-click " + button, "timed-clicked")[0])
        box = stamp(ask("timed-box 20000", "timed-box")[0])
        reply, _ = ask("box", "box ")
        if text not in reply:
            sys.exit("bench/click: %s: unexpected box %s" % (button, reply))
        ask("answer ok", "answered")
        ask("idle", "idle")
        reqs = requests()[seen:]
        if len(reqs) != want_requests:
            sys.exit("bench/click: %s: %d requests, expected %d" % (button, len(reqs), want_requests))
        if not reqs:
            return box - click, None, None
        return box - click, reqs[0] - click, box - reqs[0]

    press("Запись", 1, "удачно")  # warm-up
    write, read = [], []
    for _ in range(runs):
        write.append(press("Запись", 1, "удачно"))
        read.append(press("Чтение", 1, "удачно"))
    with open(control, "w") as f:
        f.write("--silent\n")
    silent = [press("Запись", 6, "не отвечает") for _ in range(silent_runs)]
    os.unlink(control)
    ask("kill", "killed")

    # The configurator starting the do-nothing program: click to box with
    # nothing but the start, the empty list and the box.
    start_configurator(same_way)
    press("Запись", 0, "шнур")  # warm-up
    same_rows = [press("Запись", 0, "шнур") for _ in range(runs)]
    ask("kill", "killed")

    # The box floor: the same click and box in a program that does nothing
    # else (its window, one button, MessageBoxW).
    stamp_file = os.path.join(folder, "box-stamps.txt")
    ask("launch %s %s %s" % (win_path(root + "/build/" + FLAVOR + "/tests/bench_box_probe.exe"),
                             win_path(folder), win_path(stamp_file)), "launched")
    ask("wait-window \"Box probe\"", "window")
    ask("idle", "idle")
    probe_clicks = []
    for _ in range(runs + 1):  # the first is a warm-up, as above
        click = stamp(ask("timed-click Показать", "timed-clicked")[0])
        box = stamp(ask("timed-box 20000", "timed-box")[0])
        ask("answer ok", "answered")
        probe_clicks.append((click, box))
    ask("kill", "killed")
    called = [float(l) for l in open(stamp_file) if l.strip()]
    if len(called) != len(probe_clicks):
        sys.exit("bench/click: the box probe stamped %d of %d boxes" % (len(called), len(probe_clicks)))
    box_rows = [(b - c, b - m) for (c, b), m in zip(probe_clicks[1:], called[1:])]
    driver.stdin.close()
    driver.wait(30)
    driver = None

    probe = subprocess.run([root + "/tests/wine/run", root + "/build/" + FLAVOR + "/tests/ports_probe.exe",
                            "launch", win_path(os.path.join(folder, "nop", "nothing.exe")),
                            str(max(runs, 10))], capture_output=True, text=True)
    floor_start = float(probe.stdout.split("launch_ms")[1].split()[0])
finally:
    cleanup()

med = lambda rows, i: statistics.median(r[i] for r in rows)
exchange_floor = 12 + 10
silent_floor = 6 * (12 + 300)
print("click to message box under Wine, median of %d clicks each (silent: %d)" % (runs, silent_runs))
print("clock check: driver wall clock - host CLOCK_REALTIME = %.2f ms (round trip %.2f ms)"
      % (clock_offset, round_trip))
print("do-nothing program started like ZiziDivu.exe: %.1f ms" % floor_start)
figures = []
for name, rows in (("Write", write), ("Read", read)):
    total, disc, exch = med(rows, 0), med(rows, 1), med(rows, 2)
    floor = floor_start + exchange_floor
    print("%-5s click to box %7.1f ms  (discovery %6.1f ms, exchange %6.1f ms)  floor %6.1f ms  ratio %.2f"
          % (name, total, disc, exch, floor, total / floor))
    figures += [
        ("%s, responsive device: click to message box" % name, total,
         "%.1f ms (process start %.1f + exchange 22)" % (floor, floor_start), total / floor),
        ("%s: discovery part (click to request)" % name, disc,
         "%.1f ms (do-nothing program start)" % floor_start, disc / floor_start),
        ("%s: exchange part (request to box)" % name, exch, "22 ms (12 ms + one 10 ms poll)",
         exch / exchange_floor),
    ]
box_total, box_call = med(box_rows, 0), med(box_rows, 1)
print("box floor: click to box in a one-button program %.1f ms (MessageBoxW call to box %.1f ms)"
      % (box_total, box_call))


def whole_press_rows(floor, said, row, parts):
    """Write and Read, click to box, against a floor for the whole press."""
    for name, rows in (("Write", write), ("Read", read)):
        total = med(rows, 0)
        print("%-5s click to box against %s %.1f ms: ratio %.2f" % (name, said, floor, total / floor))
        figures.append(("%s, responsive device: click to box, %s" % (name, row), total,
                        "%.1f ms (%s)" % (floor, parts), total / floor))


whole_press_rows(floor_start + exchange_floor + box_total, "floor and box floor",
                 "box included in the floor",
                 "process start %.1f + exchange 22 + box %.1f" % (floor_start, box_total))
same_total = med(same_rows, 0)
print("the configurator starting a do-nothing program instead of ZiziDivu.exe: click to box %.1f ms"
      % same_total)
whole_press_rows(same_total + exchange_floor, "that and the exchange floor",
                 "floor run by the configurator itself",
                 "do-nothing tool, click to box %.1f + exchange 22" % same_total)
s_total = med(silent, 0)
s_exch = med(silent, 2)
print("Write, silent device: click to box %.1f ms (first request to box %.1f ms), six exchanges' floor %d ms, ratio %.2f"
      % (s_total, s_exch, silent_floor, s_total / silent_floor))
figures.append(("Write, silent device (six exchanges): click to message box", s_total,
                "%d ms (6 x (12 + 300))" % silent_floor, s_total / silent_floor))
for what, v, floor, ratio in figures:
    print("figure\t%s (%s)\t%.1f ms\t%s\t%.2f" % (what, FLAVOR, v, floor, ratio))
print("figure\tMessage box alone (%s): click to box in a one-button program\t%.1f ms\t-\t-" % (FLAVOR, box_total))
print("figure\tConfigurator with a do-nothing tool (%s): click to cable-not-found box\t%.1f ms\t-\t-"
      % (FLAVOR, same_total))
