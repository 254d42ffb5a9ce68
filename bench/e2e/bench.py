#!/usr/bin/python3
"""Benchmark of the whole program against whole-player peers, on the end-to-end test's private
network (the same namespace, servers, Xvfb, window manager and PulseAudio null sink).

Prints side by side, for the program and for mpv (command line), vlc (with its Qt interface)
and goodvibes, with the program's figure over the peer's as a ratio:
  - start-up: from the spawn to the first visible window (and, for the program, to the first
    painted window: its banner on screen);
  - tune latency per endpoint kind: from the pick to the onset of the station's tone at the
    sink, to 2.5 ms (program: arrow-key picks in the real window; mpv: `loadfile` over its IPC
    socket; goodvibes: `goodvibes-client play`; vlc: `add` over its rc socket), and the
    program's own part of it (from its diagnostics: the pick reaching its playback to the sound
    server starting the new stream);
  - CPU share, peak memory (VmHWM) and steady memory (VmRSS after playing a while) while
    playing, with the window shown, hidden (the credits window in front; the program only) and
    minimised; beside each, over the same seconds, the sound server's (the world's PulseAudio
    daemon) CPU share and wake-ups per second, the sum of the player's and the server's CPU
    (what the stream costs in all) and the program/peer ratio on that sum; and the server once
    with nothing playing, as a baseline (the sink listener's recording stream is always there);
  - idle, nothing picked (no station, no `loadfile`/`play`), with the window shown and then
    minimised: CPU share and wake-ups per second of the main (GUI) thread and of all threads
    (voluntary context switches: each one is a sleep that something ended). Beside them the
    Qt floor (`bench_qt_floor`, built with the program): a bare Qt Widgets window doing the main
    window's visible work at rest, linked with the libraries the program loads; its idle figures
    and peak memory are what the toolkit and those libraries cost before any work of the
    program's own.
Every player is started once, untimed, before its start-up is timed (a first start builds
caches: VLC's plugin cache takes seconds).

Soak mode (--soak SECONDS): the program alone plays for that long, switching station every
--switch-every seconds, every other switch to a station whose stream breaks every --drop-every
seconds; prints memory growth after the first --settle seconds, failed tunes and how the breaks
went.

Not part of the test run. Run as root from the repository (needs a build with the program):
  bench/e2e/bench.py --build build-e2e [--install-peers] [--soak 3600 | --idle-only]
"""

import argparse
import collections
import json
import os
import pwd
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(REPO, "tools", "e2e"))
import bands  # noqa: E402
import networld as nw  # noqa: E402

PEER_PACKAGES = {"mpv": "mpv", "vlc": "vlc", "goodvibes": "goodvibes"}
STATE_SECONDS = 10.0
IDLE_SECONDS = 10.0
DROPPING_LABEL_STATION = 4  # "Radio Foorti": its server is swapped for a breaking one in soak


def out(text=""):
    print(text, flush=True)


def install_peers():
    missing = [p for name, p in PEER_PACKAGES.items() if not shutil.which(name)]
    if missing:
        subprocess.run(["apt-get", "install", "-y", "-q", "--no-install-recommends"] + missing,
                       check=False, env=dict(os.environ, DEBIAN_FRONTEND="noninteractive"))


def fmt(value, unit="", digits=2):
    if value is None:
        return "-"
    return ("%." + str(digits) + "f%s") % (value, unit)


def ratio(a, b):
    if a is None or b is None or b == 0:
        return "-"
    return "%.2fx" % (a / b)


def configured_hosts_file(build):
    """The RADIO_STATION_HOSTS file of a build folder (relative paths are from the sources)."""
    try:
        with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                if line.startswith("RADIO_STATION_HOSTS:"):
                    return os.path.join(REPO, line.split("=", 1)[1].strip())
    except OSError:
        pass
    return os.path.join(REPO, "stations", "hosts.txt")


class World:
    def __init__(self, args, replace=None):
        self.args = args
        self.plan = nw.load_plan(args.catalogue, args.hosts)
        self.workdir = tempfile.mkdtemp(prefix="radio-bench-")
        os.chmod(self.workdir, 0o755)
        self.procs = nw.Processes(self.workdir)
        nw.set_up_network(self.plan, self.workdir)
        swf = os.path.join(args.corpus, "gnash", "simple_loop_test", "test.swf")
        nw.start_servers(self.plan, self.procs, args.servers, swf,
                         replace=replace(self.plan) if replace else None)
        self.desktop = nw.Desktop(self.procs, self.workdir)
        self.desktop.start()
        self.listener = nw.SinkListener(self.desktop, self.procs)
        self.meter = nw.ToneMeter(self.plan.candidates())

    def close(self):
        self.procs.stop_all()
        shutil.rmtree(self.workdir, ignore_errors=True)

    def sound_server_pid(self):
        """The PulseAudio daemon the desktop started (run with --daemonize=no: the spawned
        process is the daemon)."""
        for label, proc in self.procs.items:
            if label == "pulseaudio" and proc.poll() is None:
                return proc.pid
        return None

    def quiet(self, seconds=0.6):
        time.sleep(seconds)

    def representatives(self):
        """One station per endpoint kind, in list order."""
        seen = {}
        for s in self.plan.stations:
            seen.setdefault(s.kind, s)
        return list(seen.values())


# ---------------------------------------------------------------------------------------------
# Measuring a running process.

def visible_window_of(world, pid, timeout):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                           env=world.desktop.env(), capture_output=True, text=True)
        ids = r.stdout.split()
        if ids:
            return int(ids[-1])
        time.sleep(0.02)
    return None


# ---------------------------------------------------------------------------------------------
# The program.

def warm_up_program(world):
    """One untimed start, so that the timed ones find what a first start caches."""
    prog = nw.Program(world.desktop, world.procs, world.args.program)
    prog.wait_main_window()
    world.procs.stop(prog.proc)
    world.quiet(0.3)


Playing = collections.namedtuple("Playing", "cpu peak rss server_cpu server_wake")


def playing_figures(world, pid):
    """Over STATE_SECONDS: the player's CPU share and, read at the same two moments, the sound
    server's CPU share and wake-ups per second; then the player's peak and steady (resident
    now) memory in KiB."""
    server = world.sound_server_pid()
    s0 = task_counters(server) if server else {}
    c0, t0 = task_counters(pid), time.monotonic()
    time.sleep(STATE_SECONDS)
    c1, t1 = task_counters(pid), time.monotonic()
    s1 = task_counters(server) if server else {}
    cpu, _wake = rates(c0, c1, t1 - t0)
    s_cpu, s_wake = rates(s0, s1, t1 - t0)
    return Playing(cpu, nw.peak_memory_kib(pid), nw.rss_kib(pid), s_cpu, s_wake)


def server_alone(world, seconds=STATE_SECONDS):
    """The sound server's CPU share and wake-ups per second while no player runs."""
    server = world.sound_server_pid()
    if server is None:
        return None, None
    s0, t0 = task_counters(server), time.monotonic()
    time.sleep(seconds)
    s1, t1 = task_counters(server), time.monotonic()
    return rates(s0, s1, t1 - t0)


def program_startup(world, runs=3):
    warm_up_program(world)
    shown, painted = [], []
    for _ in range(runs):
        prog = nw.Program(world.desktop, world.procs, world.args.program)
        shown.append(prog.wait_main_window())
        path = os.path.join(world.workdir, "startup.png")
        deadline = time.monotonic() + 20
        while time.monotonic() < deadline:
            offset, client, _f = prog.screenshot(prog.window, path)
            shot = bands.Shot(path, offset, (client["w"], client["h"]))
            gold = shot.share(86, 222, 40, 66, lambda p: p[0] > 150 and p[1] > 100 and p[2] < 100)
            if gold > 0.05:
                painted.append(time.monotonic() - prog.started_at)
                break
        world.procs.stop(prog.proc)
        world.quiet(0.3)
    return statistics.median(shown), (statistics.median(painted) if painted else None)


# The program's own diagnostics, with their time: a pick reaches the playback ("Connecting") and
# the sound server starts playing the new stream ("sound started").
TIMED_LOG = {"QT_LOGGING_RULES": "radio.player.debug=true;radio.engine.debug=true",
             "QT_MESSAGE_PATTERN": "%{time process} %{category}: %{message}"}


def inside_latencies(log, stations):
    """From the program's timed log: seconds from each pick reaching the playback to the sound
    server starting its stream, per kind (the first pick, by mouse, left out)."""
    picks = []
    for line in log.splitlines():
        parts = line.split(None, 1)
        if len(parts) < 2:
            continue
        try:
            t = float(parts[0])
        except ValueError:
            continue
        if "State::Connecting" in parts[1]:
            picks.append([t, None])
        elif "sound started" in parts[1] and picks and picks[-1][1] is None:
            picks[-1][1] = t
    per_kind = {}
    for station, (picked, heard) in zip(stations[1:], picks[1:]):
        per_kind.setdefault(station.kind, []).append(None if heard is None else heard - picked)
    return per_kind


def program_tune(world):
    """Arrow-key picks through the whole list; latency per station, then per kind."""
    prog = nw.Program(world.desktop, world.procs, world.args.program, extra_env=TIMED_LOG)
    prog.wait_main_window()
    time.sleep(1.0)
    prog.pick_by_mouse(0, len(world.plan.stations))
    first = world.plan.stations[0]
    nw.listen_for(world.listener, world.meter, first.frequency, world.listener.now_index(), 15)
    per_kind = {}
    previous = first.frequency
    for station in world.plan.stations[1:]:
        since = world.listener.now_index()
        sent = time.monotonic()
        prog.key("Down")
        r = nw.listen_for(world.listener, world.meter, station.frequency, since, 15,
                          allowed_before=(previous,), hold_seconds=0.5, start_time=sent)
        per_kind.setdefault(station.kind, []).append(r["latency"] if r["ok"] else None)
        previous = station.frequency
    return prog, per_kind


def program_states(world):
    """CPU and VmHWM while playing: shown, hidden behind the credits window, minimised. A new
    program, as each peer is started anew: a listener's pick of the first station."""
    figures = {}
    prog = nw.Program(world.desktop, world.procs, world.args.program)
    prog.wait_main_window()
    time.sleep(1.0)
    pid = prog.proc.pid
    station = world.plan.stations[0]
    prog.activate(prog.window)
    prog.pick_by_mouse(0, len(world.plan.stations))
    nw.listen_for(world.listener, world.meter, station.frequency, world.listener.now_index(), 15)
    figures["shown"] = playing_figures(world, pid)
    prog.click(prog.window, 120, 60)
    form2 = prog.find_window(caption="Form2", timeout=5)
    figures["hidden"] = playing_figures(world, pid)
    prog.click(form2, 18, 297)
    time.sleep(1.0)
    prog.click(prog.window, 205, 8)
    time.sleep(1.0)
    figures["minimised"] = playing_figures(world, pid)
    prog.x("xdotool", "windowactivate", str(prog.window), check=False)
    world.procs.stop(prog.proc)
    return figures


# ---------------------------------------------------------------------------------------------
# Peers.

class Peer:
    name = ""
    note = ""

    def __init__(self, world):
        self.world = world
        self.proc = None

    def env(self):
        return self.world.desktop.env()

    def start(self):
        raise NotImplementedError

    def tune(self, url):
        raise NotImplementedError

    def stop(self):
        if self.proc:
            self.world.procs.stop(self.proc)
            self.proc = None


class MpvPeer(Peer):
    name = "mpv"
    note = "mpv command line; start-up with --force-window; tunes by loadfile over IPC"

    def start(self, window=True):
        self.sock = os.path.join(self.world.workdir, "mpv.sock")
        argv = ["mpv", "--idle=yes", "--no-video", "--volume=50", "--no-config",
                "--input-ipc-server=" + self.sock, "--ao=pulse"]
        if window:
            argv.append("--force-window=yes")
        self.proc = self.world.procs.start("mpv", argv, env=self.env())
        deadline = time.monotonic() + 10
        while not os.path.exists(self.sock) and time.monotonic() < deadline:
            time.sleep(0.02)

    def tune(self, url):
        s = socket.socket(socket.AF_UNIX)
        s.connect(self.sock)
        s.sendall((json.dumps({"command": ["loadfile", url, "replace"]}) + "\n").encode())
        s.close()


class VlcPeer(Peer):
    name = "vlc"
    note = "vlc with its Qt interface, run as user nobody (vlc refuses root); tunes by rc 'add'"

    def start(self, window=True):
        self.home = tempfile.mkdtemp(prefix="vlc-home-", dir=self.world.workdir)
        nobody = pwd.getpwnam("nobody")
        os.chown(self.home, nobody.pw_uid, nobody.pw_gid)
        self.sock = os.path.join(self.home, "rc.sock")
        env = dict(self.env(), HOME=self.home, XDG_RUNTIME_DIR=self.home)
        argv = ["runuser", "-u", "nobody", "--", "vlc", "--no-qt-privacy-ask", "--volume-step=1",
                "--extraintf", "oldrc", "--rc-unix", self.sock, "--rc-fake-tty",
                "--no-video", "--aout=pulse"]
        if not window:
            argv[4:5] = ["cvlc"]
        self.proc = self.world.procs.start("vlc", argv, env=env)
        deadline = time.monotonic() + 20
        while not os.path.exists(self.sock) and time.monotonic() < deadline:
            time.sleep(0.02)

    def pid(self):
        # runuser forks vlc: measure the player, not the wrapper.
        for p in nw.tree_pids(self.proc.pid)[1:]:
            return p
        return self.proc.pid

    def tune(self, url):
        s = socket.socket(socket.AF_UNIX)
        s.connect(self.sock)
        s.sendall(("add %s\n" % url).encode())
        time.sleep(0.05)
        s.close()


class GoodvibesPeer(Peer):
    name = "goodvibes"
    note = "goodvibes (GTK, GStreamer) with a private D-Bus session; tunes by goodvibes-client"

    def start(self, window=True):
        if not hasattr(self, "bus"):
            bus = self.world.procs.start("dbus", ["dbus-daemon", "--session", "--nofork",
                                                  "--print-address=1"], stdout=subprocess.PIPE)
            self.bus = bus.stdout.readline().decode().strip()
        self.home = tempfile.mkdtemp(prefix="gv-home-", dir=self.world.workdir)
        env = dict(self.env(), DBUS_SESSION_BUS_ADDRESS=self.bus, HOME=self.home,
                   XDG_CONFIG_HOME=os.path.join(self.home, "c"),
                   XDG_DATA_HOME=os.path.join(self.home, "d"))
        self.genv = env
        self.proc = self.world.procs.start("goodvibes", ["goodvibes"], env=env)

    def tune(self, url):
        subprocess.run(["goodvibes-client", "play", url], env=self.genv, capture_output=True,
                       timeout=10)


def peer_pid(peer):
    return peer.pid() if hasattr(peer, "pid") and callable(getattr(peer, "pid")) else \
        peer.proc.pid


def warm_up_peer(world, peer):
    """One untimed start: VLC's first start builds its plugin cache, which takes seconds."""
    peer.start()
    visible_window_of(world, peer_pid(peer), 30)
    peer.stop()
    world.quiet(0.3)


def peer_startup(world, peer, runs=3):
    warm_up_peer(world, peer)
    times = []
    for _ in range(runs):
        t0 = time.monotonic()
        peer.start()
        w = visible_window_of(world, peer_pid(peer), 30)
        if w is not None:
            times.append(time.monotonic() - t0)
        peer.stop()
        world.quiet(0.3)
    return statistics.median(times) if times else None


def peer_tune(world, peer, stations):
    peer.stop()  # the one left from the idle rows
    peer.start()
    time.sleep(2.0)
    per_kind = {}
    previous = None
    for station in stations:
        since = world.listener.now_index()
        sent = time.monotonic()
        try:
            peer.tune(station.url)
        except (OSError, subprocess.SubprocessError):
            per_kind.setdefault(station.kind, []).append(None)
            continue
        r = nw.listen_for(world.listener, world.meter, station.frequency, since, 15,
                          allowed_before=(previous,) if previous else (), hold_seconds=0.5,
                          start_time=sent)
        per_kind.setdefault(station.kind, []).append(r["latency"] if r["ok"] else None)
        if r["ok"]:
            previous = station.frequency
    return per_kind


def peer_states(world, peer, station):
    peer.stop()
    peer.start()
    time.sleep(2.0)
    since = world.listener.now_index()
    peer.tune(station.url)
    r = nw.listen_for(world.listener, world.meter, station.frequency, since, 15)
    if not r["ok"]:
        peer.stop()
        return {}
    pid = peer_pid(peer)
    return shown_then_minimised(world, peer, pid, visible_window_of(world, pid, 2),
                                lambda p: playing_figures(world, p))


def shown_then_minimised(world, peer, pid, window, measure):
    """measure(pid) with the peer's window shown, then minimised by the window manager (when it
    has a window); the peer is stopped afterwards."""
    figures = {"shown": measure(pid)}
    if window is not None:
        subprocess.run(["xdotool", "windowminimize", str(window)], env=world.desktop.env(),
                       capture_output=True)
        time.sleep(1.0)
        figures["minimised"] = measure(pid)
    peer.stop()
    return figures


# ---------------------------------------------------------------------------------------------
# Idle: nothing picked, the window shown and then minimised.

def task_counters(pid):
    """{tid: (run nanoseconds, voluntary context switches)} of every thread of a process."""
    counters = {}
    try:
        tids = [int(t) for t in os.listdir("/proc/%d/task" % pid)]
    except OSError:
        return counters
    for tid in tids:
        try:
            with open("/proc/%d/task/%d/schedstat" % (pid, tid)) as f:
                run_ns = int(f.read().split()[0])
            with open("/proc/%d/task/%d/status" % (pid, tid)) as f:
                switches = next(int(line.split()[1]) for line in f
                                if line.startswith("voluntary_ctxt_switches:"))
        except (OSError, ValueError, IndexError, StopIteration):
            continue
        counters[tid] = (run_ns, switches)
    return counters


def rates(before, after, seconds, tids=None):
    """CPU % of one core and wake-ups per second of the threads `tids` (default: all) between
    two task_counters readings of a process, from what each ran meanwhile, to the nanosecond
    (the clock-tick totals of /proc/<pid>/stat step by 10 ms: 0.1 % over 10 s, a sixth of what a
    player costs). A thread that began meanwhile counts from its start; one that ended is not
    counted, and in the steady states measured none does. (None, None) without both readings."""
    if not before or not after:
        return None, None
    tids = after.keys() if tids is None else tids
    ran = sum(after[t][0] - before.get(t, (0, 0))[0] for t in tids)
    woke = sum(after[t][1] - before.get(t, (0, 0))[1] for t in tids)
    return 100.0 * ran / 1e9 / seconds, woke / seconds


def idle_figures(pid, seconds=IDLE_SECONDS):
    """CPU % of one core and wake-ups per second over `seconds`: (main thread CPU, main thread
    wake-ups, process CPU, all threads' wake-ups)."""
    c0, t0 = task_counters(pid), time.monotonic()
    time.sleep(seconds)
    c1, t1 = task_counters(pid), time.monotonic()
    if pid not in c0 or pid not in c1:
        return None
    return rates(c0, c1, t1 - t0, [pid]) + rates(c0, c1, t1 - t0)


def program_idle(world):
    """The program with nothing picked: shown, then minimised with its own picture."""
    figures = {}
    prog = nw.Program(world.desktop, world.procs, world.args.program)
    prog.wait_main_window()
    time.sleep(3.0)  # the strips fetched and playing, start-up's work done
    figures["shown"] = idle_figures(prog.proc.pid)
    prog.click(prog.window, 205, 8)
    time.sleep(1.0)
    figures["minimised"] = idle_figures(prog.proc.pid)
    world.procs.stop(prog.proc)
    return figures


def floor_idle(world):
    """The Qt floor (bench_qt_floor, built beside the program): a bare Qt Widgets window doing
    the main window's visible work at rest, shown, and its peak memory. None when the build has
    no such program."""
    path = os.path.join(world.args.build, "bench", "e2e", "bench_qt_floor")
    if not os.access(path, os.X_OK):
        return None
    # X11 changes sent without shared memory, as the program sends them.
    proc = world.procs.start("qt floor", [path], env=world.desktop.env(
        QT_QPA_PLATFORM="xcb", QT_XCB_NO_MITSHM="1", HOME=world.workdir))
    try:
        visible_window_of(world, proc.pid, 30)
        time.sleep(3.0)
        return {"shown": idle_figures(proc.pid), "peak": nw.peak_memory_kib(proc.pid)}
    finally:
        world.procs.stop(proc)


def peer_idle(world, peer):
    """A peer started and left alone: shown, then minimised by the window manager."""
    peer.stop()
    peer.start()
    pid = peer_pid(peer)
    w = visible_window_of(world, pid, 30)
    time.sleep(3.0)
    return shown_then_minimised(world, peer, pid, w, idle_figures)


def run_idle_only(args):
    """The idle rows alone (--idle-only), for a quick look."""
    world = World(args)
    try:
        out("== Idle on the private network; %s" % time.strftime("%Y-%m-%d %H:%M"))
        peers = [p(world) for p in (MpvPeer, VlcPeer, GoodvibesPeer)
                 if shutil.which(p.name) and p.name in args.peers]
        results = {"program": {"idle": program_idle(world)},
                   "qt floor": {"idle": floor_idle(world)}}
        for peer in peers:
            results[peer.name] = {"idle": peer_idle(world, peer)}
        print_idle_table(results, peers)
    finally:
        world.close()


def print_idle_table(results, peers):
    out()
    out("Idle, nothing picked: CPU %% of one core and wake-ups/s over %gs, main (GUI) thread and "
        "all threads" % IDLE_SECONDS)
    out("  %-10s %-12s %10s %12s %10s %12s" % ("state", "player", "main CPU", "main wake/s",
                                              "all CPU", "all wake/s"))
    for state in ("shown", "minimised"):
        for n in ["program", "qt floor"] + [p.name for p in peers]:
            f = (results.get(n, {}).get("idle") or {}).get(state)
            if f is None:
                if n != "qt floor":  # the floor is measured shown only
                    out("  %-10s %-12s %10s" % (state, n, "-"))
                continue
            out("  %-10s %-12s %9s%% %12s %9s%% %12s" % (
                state, n, fmt(f[0]), fmt(f[1], digits=1), fmt(f[2]), fmt(f[3], digits=1)))
    out("  (mpv: idle with --force-window; its main thread is its core, the window has its own)")
    floor = results.get("qt floor", {}).get("idle")
    if floor:
        out("  (qt floor: a bare Qt Widgets window of the main window's size whose line of text "
            "takes a new colour five times a second and whose clock label a new text once a "
            "second; linked with the libraries the program loads, using none; peak memory %s MiB)"
            % fmt(kib_to_mib(floor["peak"]), digits=1))
    shown = results.get("program", {}).get("idle", {}).get("shown")
    if shown:
        out("  target, shown: program %s wake-ups/s <= 6 and %s%% <= 0.12%%: %s"
            % (fmt(shown[3], digits=1), fmt(shown[2]),
               "met" if shown[3] <= 6 and shown[2] <= 0.12 else "NOT met"))


# ---------------------------------------------------------------------------------------------

def summarise(latencies):
    ok = [x for x in latencies if x is not None]
    if not ok:
        return None, len(latencies)
    return statistics.median(ok), len(latencies) - len(ok)


def run_benchmark(args):
    world = World(args)
    try:
        out("== Benchmark on the private network (%d stations, %d endpoints); %s"
            % (len(world.plan.stations), len(world.plan.tones), time.strftime("%Y-%m-%d %H:%M")))
        peers = [p(world) for p in (MpvPeer, VlcPeer, GoodvibesPeer)
                 if shutil.which(p.name) and p.name in args.peers]
        results = {"program": {}}
        out("-- sound server alone, nothing playing")
        world.quiet(2.0)  # the world's start-up settled
        results["server alone"] = server_alone(world)
        out("-- start-up (median of 3)")
        shown, painted = program_startup(world)
        results["program"]["startup"] = shown
        out("program: window visible %s s, first painted %s s" % (fmt(shown), fmt(painted)))
        for peer in peers:
            t = peer_startup(world, peer)
            results.setdefault(peer.name, {})["startup"] = t
            out("%s: window visible %s s" % (peer.name, fmt(t)))

        out("-- idle, nothing picked (window shown, then minimised)")
        results["program"]["idle"] = program_idle(world)
        results["qt floor"] = {"idle": floor_idle(world)}
        for peer in peers:
            results[peer.name]["idle"] = peer_idle(world, peer)

        out("-- tune latency (pick to the tone's onset at the sink)")
        prog, kinds = program_tune(world)
        results["program"]["tune"] = kinds
        results["program"]["peak after every kind"] = nw.peak_memory_kib(prog.proc.pid)
        world.procs.stop(prog.proc)
        results["program"]["inside"] = inside_latencies(world.procs.log_text("program"),
                                                        world.plan.stations)
        figures = program_states(world)
        results["program"]["states"] = figures
        representatives = world.representatives()
        for peer in peers:
            results[peer.name]["tune"] = peer_tune(world, peer, representatives)
            peer.stop()
            results[peer.name]["states"] = peer_states(world, peer, world.plan.stations[0])
        print_tables(results, peers)
        print_idle_table(results, peers)
    finally:
        world.close()


def print_tables(results, peers):
    names = ["program"] + [p.name for p in peers]
    out()
    out("Start-up to first visible window (s), median of 3 after one untimed start")
    out("  %-12s %8s %s" % ("player", "seconds", "program/peer"))
    base = results["program"]["startup"]
    for n in names:
        out("  %-12s %8s %s" % (n, fmt(results[n].get("startup")),
                                "" if n == "program" else ratio(base, results[n].get("startup"))))
    starts = [(results[n]["startup"], n) for n in names[1:] if results[n].get("startup")]
    if base and starts:
        best, who = min(starts)
        out("  target: program %s s <= 0.75 x the best peer's %s s (%s): %s"
            % (fmt(base), fmt(best), who, "met" if base <= 0.75 * best else "NOT met"))
    out()
    out("Tune latency per endpoint kind: median seconds (failed picks); program/peer")
    out("  (program: every station of the kind, arrow-key picks; peers: the kind's first station)")
    kinds = list(results["program"]["tune"].keys())
    out("  %-24s" % "kind" + "".join("%-22s" % n for n in names))
    for kind in kinds:
        row = "  %-24s" % kind
        pm, _pf = summarise(results["program"]["tune"][kind])
        for n in names:
            m, failed = summarise(results[n].get("tune", {}).get(kind, []))
            cell = "%s (%d)" % (fmt(m), failed)
            if n != "program":
                cell += " %s" % ratio(pm, m)
            row += "%-22s" % cell
        inside, _ = summarise(results["program"].get("inside", {}).get(kind, []))
        out(row + "inside %s" % fmt(inside, digits=3))
    out("  (inside: the program's own part, median seconds from the pick reaching its playback to "
        "the sound server starting the new stream, from its diagnostics; the rest is the key "
        "or command reaching the player, the player's own work and the sound server's; the "
        "onset is where short blocks of the recording become the station's tone, "
        "to 2.5 ms)")
    print_playing(results, names)
    for p in peers:
        out("note: %s: %s" % (p.name, p.note))


def print_playing(results, names):
    """CPU, peak and steady memory while playing, per window state, the sound server's share
    over the same seconds, and the targets."""
    out()
    out("Playing: CPU %% of one core over %gs; memory MiB, peak (VmHWM) / steady (VmRSS at the "
        "end); program/peer" % STATE_SECONDS)
    out("  indented: the sound server (PulseAudio) over the same seconds, CPU % and wake-ups/s; "
        "sum = player CPU + server CPU; program/peer on the sum")
    width = 46
    for state in ("shown", "hidden", "minimised"):
        row = "  %-10s" % state
        server_row = "    %-8s" % "+server"
        p = results["program"]["states"].get(state)
        for n in names:
            f = results[n].get("states", {}).get(state)
            if f is None:
                row += "%-*s" % (width, n + ": -")
                server_row += "%-*s" % (width, n + ": -")
                continue
            cell = "%s: %s%% %s/%s" % (n, fmt(f.cpu, digits=1), fmt(kib_to_mib(f.peak), digits=1),
                                       fmt(kib_to_mib(f.rss), digits=1))
            if n != "program" and p:
                cell += " (%s, %s)" % (ratio(p.cpu, f.cpu), ratio(p.peak, f.peak))
            row += "%-*s" % (width, cell)
            cell = "%s: %s%% %s/s, sum %s%%" % (n, fmt(f.server_cpu, digits=1),
                                               fmt(f.server_wake, digits=0),
                                               fmt(playing_sum(f), digits=1))
            if n != "program" and p:
                cell += " (%s)" % ratio(playing_sum(p), playing_sum(f))
            server_row += "%-*s" % (width, cell)
        out(row)
        out(server_row)
    after = results["program"].get("peak after every kind")
    if after:
        out("  program's peak after playing every kind in one run (FFmpeg loaded for Ogg and MMS): "
            "%s MiB" % fmt(kib_to_mib(after), digits=1))
    alone = results.get("server alone") or (None, None)
    out("  sound server alone, nothing playing (over %gs, before any player started): %s%% CPU, "
        "%s wake-ups/s (the sink listener's recording stream included, as in every row above)"
        % (STATE_SECONDS, fmt(alone[0], digits=1), fmt(alone[1], digits=0)))
    prog = results["program"]["states"]
    for state in ("shown", "minimised"):
        costs = [(caused_cost(results[n]["states"][state], alone[0]), n) for n in names[1:]
                 if results[n].get("states", {}).get(state)]
        costs = [(c, n) for c, n in costs if c is not None]
        mine = caused_cost(prog.get(state), alone[0])
        if mine is not None and costs:
            best, who = min(costs)
            out("  target, CPU %s (player + what it adds to the sound server): program %s%% <= "
                "half the best peer's %s%% (%s): %s"
                % (state, fmt(mine, digits=2), fmt(best, digits=2), who,
                   "met" if mine <= 0.5 * best else "NOT met"))
    peak = max((f.peak for f in prog.values() if f and f.peak), default=None)
    peaks = [(max(f.peak for f in results[n]["states"].values() if f and f.peak), n)
             for n in names[1:]
             if any(f and f.peak for f in results[n].get("states", {}).values())]
    if peak and peaks:
        best, who = min(peaks)
        out("  target, peak memory: program %s MiB <= 0.75 x the best peer's %s MiB (%s) = %s MiB: "
            "%s" % (fmt(kib_to_mib(peak), digits=1), fmt(kib_to_mib(best), digits=1), who,
                    fmt(0.75 * kib_to_mib(best), digits=1),
                    "met" if peak <= 0.75 * best else "NOT met"))


def caused_cost(f, server_alone):
    """A player's CPU share plus what its stream added to the sound server's."""
    if f is None or f.cpu is None or f.server_cpu is None or server_alone is None:
        return None
    return f.cpu + max(0.0, f.server_cpu - server_alone)


def playing_sum(f):
    """The player's CPU share plus the sound server's over the same seconds."""
    if f.cpu is None or f.server_cpu is None:
        return None
    return f.cpu + f.server_cpu


def kib_to_mib(kib):
    return None if kib is None else kib / 1024.0


# ---------------------------------------------------------------------------------------------
# Soak.

def run_soak(args):
    def swap(plan):
        station = plan.stations[DROPPING_LABEL_STATION - 1]
        label = "icy %s:%d" % (station.host, station.port)
        argv = ["/usr/bin/python3", os.path.join(REPO, "tools", "e2e", "dropping_stream.py"),
                "--servers", args.servers, "--host", plan.address(station.host), "--port",
                str(station.port), "--freq", "%g" % station.frequency,
                "--drop-every", "%g" % args.drop_every]
        return {label: argv}

    world = World(args, replace=swap)
    try:
        plan = world.plan
        dropping = plan.stations[DROPPING_LABEL_STATION - 1]
        others = [s for s in plan.stations if s is not dropping]
        out("== Soak: %gs, a switch every %gs, every other one to %r whose stream breaks every %gs"
            % (args.soak, args.switch_every, dropping.name, args.drop_every))
        prog = nw.Program(world.desktop, world.procs, args.program)
        prog.wait_main_window()
        time.sleep(1.0)
        pid = prog.proc.pid
        rss0 = None  # taken once the first station plays: buffers and decoders are then in
        began = time.monotonic()
        switches = failed = breaks_heard = recovered = 0
        samples = []
        k = 0
        while time.monotonic() - began < args.soak:
            station = dropping if switches % 2 == 0 else others[k % len(others)]
            if switches % 2 == 1:
                k += 1
            since = world.listener.now_index()
            turn_end = time.monotonic() + args.switch_every  # a switch every so often, pick to pick
            prog.pick_by_mouse(station.position - 1, len(plan.stations))
            switches += 1
            r = nw.listen_for(world.listener, world.meter, station.frequency, since, 15,
                              hold_seconds=0.5)
            if not r["ok"]:
                failed += 1
                out("  failed tune: %r (last reading %s)" % (station.name, r["last"]))
            # Listen through the rest of the turn; note breaks (silence) and whether the tone
            # came back: a turn in which the sound broke lasts until it is back (at most 15 s).
            silent_since = None
            while time.monotonic() < turn_end or (
                    silent_since is not None and time.monotonic() < silent_since + 15):
                time.sleep(0.2)
                f, ratio_, rms = world.meter.measure(world.listener.window(0.25))
                if rms < nw.SILENCE_RMS:
                    if silent_since is None:
                        silent_since = time.monotonic()
                        breaks_heard += 1
                elif silent_since is not None and f == station.frequency:
                    recovered += 1
                    out("  %r: sound broke and came back after %.1f s"
                        % (station.name, time.monotonic() - silent_since))
                    silent_since = None
            if silent_since is not None:
                out("  %r: silent for the last %.1f s of its turn"
                    % (station.name, time.monotonic() - silent_since))
            samples.append((time.monotonic() - began, nw.rss_kib(pid)))
            if rss0 is None:
                rss0 = samples[-1][1]
        rss1 = nw.rss_kib(pid)
        out()
        out("Soak results (%g s)" % (time.monotonic() - began))
        out("  switches %d, failed tunes %d" % (switches, failed))
        out("  breaks heard (silence while tuned) %d, sound came back %d" % (breaks_heard,
                                                                             recovered))
        out("  RSS after the first turn %.1f MiB, at end %.1f MiB, growth %.1f MiB; VmHWM %.1f MiB"
            % (rss0 / 1024.0, rss1 / 1024.0, (rss1 - rss0) / 1024.0,
               nw.peak_memory_kib(pid) / 1024.0))
        print_soak_memory(samples, args.settle)
        out("  process still running: %s" % (prog.proc.poll() is None))
    finally:
        world.close()


def print_soak_memory(samples, settle):
    """RSS over the soak: a line every ten minutes, and the growth after the first `settle`
    seconds (buffers, decoders and caches are in by then; what grows later is a leak)."""
    if not samples:
        return
    out("  RSS over time (minutes: MiB): " + ", ".join(
        "%d: %.1f" % (t // 60, r / 1024.0) for i, (t, r) in enumerate(samples)
        if i == 0 or int(t // 600) != int(samples[i - 1][0] // 600) or i == len(samples) - 1))
    later = [(t, r) for t, r in samples if t >= settle]
    if len(later) < 2:
        out("  (too short for the growth after the first %g s)" % settle)
        return
    growth = (later[-1][1] - later[0][1]) / 1024.0
    out("  RSS after the first %g s: %.1f MiB at %.0f s -> %.1f MiB at the end (highest %.1f): "
        "growth %.1f MiB (target < 2 MiB: %s)"
        % (settle, later[0][1] / 1024.0, later[0][0], later[-1][1] / 1024.0,
           max(r for _t, r in later) / 1024.0, growth, "met" if growth < 2.0 else "NOT met"))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build-e2e"))
    parser.add_argument("--program")
    parser.add_argument("--catalogue")
    parser.add_argument("--hosts", help="the station hosts file the build was configured with "
                        "(default: the build's RADIO_STATION_HOSTS)")
    parser.add_argument("--servers", default=os.path.join(REPO, "tools"))
    parser.add_argument("--corpus", default=os.path.join(REPO, "..", "shared", "swf-corpus"))
    parser.add_argument("--peers", default="mpv,vlc,goodvibes")
    parser.add_argument("--install-peers", action="store_true")
    parser.add_argument("--soak", type=float, default=0.0, help="soak for that many seconds")
    parser.add_argument("--idle-only", action="store_true", help="only the idle rows")
    parser.add_argument("--switch-every", type=float, default=20.0)
    parser.add_argument("--drop-every", type=float, default=150.0)
    parser.add_argument("--settle", type=float, default=300.0,
                        help="soak: memory growth is counted from this many seconds on")
    args = parser.parse_args()
    args.program = os.path.abspath(args.program or os.path.join(args.build, "app",
                                                                "tarvelin-radio"))
    args.catalogue = os.path.abspath(args.catalogue or os.path.join(
        args.build, "tests", "e2e", "e2e_catalogue"))
    args.hosts = os.path.abspath(args.hosts or configured_hosts_file(args.build))
    args.servers = os.path.abspath(args.servers)
    args.corpus = os.path.abspath(args.corpus)
    args.peers = args.peers.split(",")
    if args.install_peers and os.environ.get(nw.NAMESPACE_MARK) != "1":
        install_peers()  # before the namespace: the archive is outside it
    nw.enter_namespace(sys.argv)
    if args.soak > 0:
        run_soak(args)
    elif args.idle_only:
        run_idle_only(args)
    else:
        run_benchmark(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
