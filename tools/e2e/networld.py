"""The end-to-end world: a private network namespace in which every station host of the built
catalogue answers as the catalogue says, a headless desktop (Xvfb, a window manager, a
PulseAudio null sink) and the real program, driven through the X server as a user would.

Standard library only, plus Pillow for screenshots; run with /usr/bin/python3 as root.

Layout of the namespace (made by enter_namespace()):
  - `unshare -n -m`: a network namespace whose only interface is lo, and a mount namespace in
    which /etc/hosts is a bind mount of a file of our own;
  - every numeric host of the station hosts file the program was configured with is added to
    lo; every host name of that file gets an address 198.18.0.N, also on lo, and a line in that
    /etc/hosts (a public range, the benchmarking one, as a station's name has on the internet:
    a station on a loopback address could lead back to the listener's own machine, and one on a
    public address may not);
  - each distinct endpoint gets its own tone frequency, so the sink tells which one plays.
"""

import array
import bisect
import math
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

MOVIE_HOST = "movies.tarvelin.example.com"
MOVIE_PATHS = ("/200000230-d0997d1931/New%20Title.swf", "/200000208-cdea9cee36/Layout.swf")
WINDOW_CAPTION = "Tarvelin Bangla Radio Player"
NAMESPACE_MARK = "RADIO_E2E_IN_NAMESPACE"

# Playlist paths the playlist server knows by kind (see tools/playlist_server.py).
ASX_PATHS = ("/pioneerfm.asx", "/rj/asx/en/bengali.asx",
             "/bengali/meta/tx/nb/beng_parikrama_au_nb.asx")

PLAYLIST_KEYS = ("asx", "sloppy", "entryref", "deadfirst", "script", "tunein", "generated", "m3u",
                 "pls", "wrongtype", "redirect", "redirect-stream", "decoy")

SAMPLE_RATE = 8000  # the sink is recorded at this rate, mono; every tone lies below 2.5 kHz


def log(text):
    sys.stderr.write("[e2e %s] %s\n" % (time.strftime("%H:%M:%S"), text))
    sys.stderr.flush()


# ---------------------------------------------------------------------------------------------
# The plan: stations, endpoints, tones, hosts and the servers that answer for them.

class Station:
    def __init__(self, position, name, url):
        self.position = position  # 1-based, as in the list
        self.name = name
        self.url = url
        parts = urllib.parse.urlsplit(url)
        self.scheme = parts.scheme
        self.host = parts.hostname
        self.port = parts.port or 80
        self.path = parts.path
        self.query = parts.query
        self.kind = endpoint_kind(self.scheme, self.path, self.query)
        self.frequency = None


def endpoint_kind(scheme, path, query):
    if scheme == "mms":
        return "mms"
    if not path:
        return "stream root"
    if path in ASX_PATHS:
        return "asx"
    if path == "/link/stream/index.php":
        return "script asx (query)"
    if re.fullmatch(r"/cast/tunein\.php/[^/]+/playlist\.asx", path):
        return "tune-in asx"
    if path == "/generateasx.esi":
        return "generated asx (query)"
    if path.endswith(".m3u"):
        return "m3u"
    if "." not in path.rsplit("/", 1)[-1]:
        return "plain path"
    return "unknown"


def is_ipv4(host):
    return re.fullmatch(r"\d+\.\d+\.\d+\.\d+", host) is not None


# Settings of the station hosts file that are no hosts.
HOSTS_FILE_OTHER_SETTINGS = ("aponAccount", "recordingsUserId")


def read_hosts_file(path):
    """The station hosts file the program was configured with (RADIO_STATION_HOSTS; format in
    stations/hosts.txt): setting name -> value. The configure step has checked it."""
    settings = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                name, value = line.split()
                settings[name] = value
    return settings


class Plan:
    """Everything derived from the catalogue the program was built with, and the addresses
    from the station hosts file it was configured with."""

    def __init__(self, catalogue_lines, hosts_settings):
        self.stations = []
        for line in catalogue_lines:
            if not line.strip():
                continue
            position, name, url = line.rstrip("\n").split("\t")
            self.stations.append(Station(int(position), name, url))
        # One tone per distinct endpoint, 60 Hz apart: 300, 360, ... Hz.
        self.tones = {}
        for station in self.stations:
            if station.url not in self.tones:
                self.tones[station.url] = 300.0 + 60.0 * len(self.tones)
            station.frequency = self.tones[station.url]
        # The world's addresses are the hosts file's: its numeric hosts go on lo as they are,
        # its host names get public addresses of their own (on lo too).
        self.settings = hosts_settings
        configured = {value for name, value in hosts_settings.items()
                      if name not in HOSTS_FILE_OTHER_SETTINGS}
        names = sorted({h for h in configured if not is_ipv4(h)} | {MOVIE_HOST})
        self.name_addresses = {name: "198.18.0.%d" % (i + 1) for i, name in enumerate(names)}
        self.ipv4_hosts = sorted(h for h in configured if is_ipv4(h))
        used = {s.host for s in self.stations}
        self.unconfigured_hosts = sorted(used - configured)
        self.unused_hosts = sorted(configured - used)
        self.unused_settings = [name for name in HOSTS_FILE_OTHER_SETTINGS
                                if not any(hosts_settings.get(name, "\0") in s.url
                                           for s in self.stations)]

    def address(self, host):
        return host if is_ipv4(host) else self.name_addresses[host]

    def candidates(self):
        return sorted(set(self.tones.values()))

    def unknown_kinds(self):
        return [s for s in self.stations if s.kind == "unknown"]

    def server_commands(self, servers_dir, swf_path):
        """(label, argv) for every server: one per (address, port)."""
        py = "/usr/bin/python3"
        here = os.path.dirname(os.path.abspath(__file__))
        groups = {}
        for s in self.stations:
            groups.setdefault((self.address(s.host), s.port), []).append(s)
        commands = []
        for (address, port), members in sorted(groups.items()):
            first = members[0]
            base = ["--host", address, "--port", str(port)]
            if first.kind == "mms":
                commands.append(("mmsh %s:%d" % (first.host, port),
                                 [py, os.path.join(servers_dir, "mmsh_server.py")] + base
                                 + ["--freq", "%g" % first.frequency]))
            elif first.kind == "stream root":
                commands.append(("icy %s:%d" % (first.host, port),
                                 [py, os.path.join(servers_dir, "shoutcast_server.py")] + base
                                 + ["--freq", "%g" % first.frequency, "--name", first.name]))
            else:
                extra = []
                for s in members:
                    f = "%g" % s.frequency
                    if s.kind == "asx":
                        extra += ["--tone", "asx=" + f]
                    elif s.kind == "script asx (query)":
                        extra += ["--tone", "script=" + f]
                    elif s.kind == "tune-in asx":
                        extra += ["--tone", "tunein=" + f]
                    elif s.kind == "m3u":
                        extra += ["--tone", "m3u=" + f]
                    elif s.kind == "plain path":
                        extra += ["--stream", "%s=%s" % (s.path, f)]
                    elif s.kind == "generated asx (query)":
                        params = urllib.parse.parse_qs(s.query, keep_blank_values=True)
                        extra += ["--generated-tone", "%s=%s" % (params["file"][0], f)]
                # Every other playlist kind of the server gets this host's first tone too, so
                # the server makes one or two tones at start-up rather than a dozen.
                f0 = "%g" % first.frequency
                for key in PLAYLIST_KEYS:
                    if "%s=" % key not in " ".join(extra):
                        extra += ["--tone", "%s=%s" % (key, f0)]
                if "--stream" not in extra:
                    extra += ["--stream", "/e2e-unused=" + f0]
                extra = dedupe_pairs(extra)
                commands.append(("http %s:%d" % (first.host, port),
                                 [py, os.path.join(here, "endpoint_server.py"), "--servers",
                                  servers_dir] + base + extra))
        movie = [py, os.path.join(here, "movie_server.py"), "--servers", servers_dir,
                 "--host", self.name_addresses[MOVIE_HOST], "--port", "80", "--swf", swf_path]
        for path in MOVIE_PATHS:
            movie += ["--path", path]
        commands.append(("movies %s:80" % MOVIE_HOST, movie))
        return commands


def dedupe_pairs(argv):
    seen, out = set(), []
    for i in range(0, len(argv), 2):
        pair = (argv[i], argv[i + 1])
        if pair not in seen:
            seen.add(pair)
            out += list(pair)
    return out


def load_plan(catalogue_program, hosts_file):
    out = subprocess.run([catalogue_program], check=True, capture_output=True, text=True,
                         env=dict(os.environ, QT_QPA_PLATFORM="offscreen"))
    return Plan(out.stdout.splitlines(), read_hosts_file(hosts_file))


# ---------------------------------------------------------------------------------------------
# The namespace.

def enter_namespace(argv):
    """Re-runs this script inside `unshare -n -m` unless it already runs there. Returns only
    inside the namespace. Exits 77 (skip) when not root."""
    if os.environ.get(NAMESPACE_MARK) == "1":
        return
    if os.geteuid() != 0:
        print("SKIP: the end-to-end test needs root for unshare -n -m")
        sys.exit(77)
    env = dict(os.environ)
    env[NAMESPACE_MARK] = "1"
    unshare = shutil.which("unshare") or "/usr/bin/unshare"
    os.execve(unshare, [unshare, "-n", "-m", "--", sys.executable] + argv, env)


def run(argv, **kw):
    return subprocess.run(argv, check=True, capture_output=True, text=True, **kw)


def set_up_network(plan, workdir):
    """lo up, the catalogue addresses on it, our own /etc/hosts. Checks that no route but lo
    exists."""
    run(["ip", "link", "set", "lo", "up"])
    for address in plan.ipv4_hosts + sorted(plan.name_addresses.values()):
        run(["ip", "addr", "add", address + "/32", "dev", "lo"])
    hosts = os.path.join(workdir, "hosts")
    with open(hosts, "w") as f:
        f.write("127.0.0.1 localhost\n::1 localhost ip6-localhost\n")
        for name, address in sorted(plan.name_addresses.items()):
            f.write("%s %s\n" % (address, name))
    run(["mount", "--bind", hosts, "/etc/hosts"])
    links = run(["ip", "-o", "link", "show"]).stdout.strip().splitlines()
    others = [l for l in links if not re.match(r"^\d+:\s+lo:", l)]
    routes = [l for l in run(["ip", "-4", "route", "show"]).stdout.splitlines()
              if l.strip() and " dev lo" not in l]
    if others or routes:
        raise RuntimeError("the namespace is not private: links %r routes %r" % (others, routes))
    for name, address in plan.name_addresses.items():
        got = run(["getent", "hosts", name]).stdout.split()
        if not got or got[0] != address:
            raise RuntimeError("%s resolves to %r, not %s" % (name, got, address))


# ---------------------------------------------------------------------------------------------
# Processes.

class Processes:
    """Every process the world starts; stopped by PID, newest first."""

    def __init__(self, logdir):
        self.logdir = logdir
        self.items = []

    def start(self, label, argv, env=None, stdout=None):
        safe = re.sub(r"[^A-Za-z0-9_.-]+", "_", label)
        err = open(os.path.join(self.logdir, safe + ".log"), "wb")
        p = subprocess.Popen(argv, stdout=stdout if stdout is not None else err, stderr=err,
                             stdin=subprocess.DEVNULL, env=env)
        self.items.append((label, p))
        return p

    def stop(self, proc, timeout=5.0):
        if proc.poll() is None:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()

    def stop_all(self):
        for _label, p in reversed(self.items):
            self.stop(p)
        self.items = []

    def log_text(self, label):
        safe = re.sub(r"[^A-Za-z0-9_.-]+", "_", label)
        try:
            with open(os.path.join(self.logdir, safe + ".log"), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""


def start_servers(plan, procs, servers_dir, swf_path, timeout=90.0, replace=None, only=None):
    """Starts every server (or those whose label `only` accepts) and waits for each one's READY
    line. `replace` maps a server's label to other arguments for it."""
    started = []
    for label, argv in plan.server_commands(servers_dir, swf_path):
        if only is not None and not only(label):
            continue
        argv = (replace or {}).get(label, argv)
        p = procs.start(label, argv, stdout=subprocess.PIPE)
        started.append((label, p))
    deadline = time.monotonic() + timeout
    for label, p in started:
        line = b""
        while not line.startswith(b"READY"):
            left = deadline - time.monotonic()
            if left <= 0 or p.poll() is not None:
                raise RuntimeError("server %s did not start:\n%s" % (label, procs.log_text(label)))
            ready, _, _ = select.select([p.stdout], [], [], min(left, 1.0))
            if ready:
                line = p.stdout.readline()
                if not line and p.poll() is not None:
                    raise RuntimeError("server %s ended:\n%s" % (label, procs.log_text(label)))
    return started


class Desktop:
    """Xvfb, a window manager and a PulseAudio daemon with a null sink."""

    SINK = "e2e_sink"

    def __init__(self, procs, workdir, screen="1024x768x24", window_manager="openbox"):
        self.procs = procs
        self.workdir = workdir
        self.screen = screen
        self.window_manager = window_manager
        self.display = None
        self.pulse_server = None

    def start(self):
        xvfb = shutil.which("Xvfb")
        if not xvfb:
            raise RuntimeError("Xvfb is missing (Debian package xvfb)")
        number = 90
        while os.path.exists("/tmp/.X11-unix/X%d" % number) or \
                os.path.exists("/tmp/.X%d-lock" % number):
            number += 1
        self.procs.start("xvfb", [xvfb, ":%d" % number, "-screen", "0", self.screen,
                                  "-nolisten", "tcp", "-noreset"])
        deadline = time.monotonic() + 20
        while not os.path.exists("/tmp/.X11-unix/X%d" % number):
            if time.monotonic() > deadline:
                raise RuntimeError("Xvfb did not start:\n" + self.procs.log_text("xvfb"))
            time.sleep(0.05)
        self.display = ":%d" % number
        while subprocess.run(["xdpyinfo"], env=self.env(), capture_output=True).returncode != 0:
            if time.monotonic() > deadline:
                raise RuntimeError("Xvfb does not answer:\n" + self.procs.log_text("xvfb"))
            time.sleep(0.05)
        wm = shutil.which(self.window_manager)
        if not wm:
            raise RuntimeError("window manager %s is missing (Debian package %s)"
                               % (self.window_manager, self.window_manager))
        self.procs.start("openbox", [wm, "--sm-disable"], env=self.env())
        self.wait_for_window_manager()
        self.start_pulse()

    def wait_for_window_manager(self, timeout=15.0):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env(),
                                 capture_output=True, text=True).stdout
            if "window id" in out:
                return
            time.sleep(0.1)
        raise RuntimeError("the window manager did not come up")

    def start_pulse(self):
        base = tempfile.mkdtemp(prefix="pa-", dir="/tmp")  # socket paths must stay short
        os.chmod(base, 0o755)  # players run as another user reach the socket too
        home, runtime = os.path.join(base, "home"), os.path.join(base, "run")
        os.makedirs(home)
        os.makedirs(runtime, mode=0o700)
        socket_path = os.path.join(base, "native")
        env = dict(os.environ, HOME=home, XDG_RUNTIME_DIR=runtime,
                   XDG_CONFIG_HOME=os.path.join(home, ".config"))
        env.pop("PULSE_SERVER", None)
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        self.procs.start("pulseaudio", [
            "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--use-pid-file=no",
            "--disallow-exit", "--log-target=stderr",
            "--load=module-null-sink sink_name=%s rate=44100" % self.SINK,
            "--load=module-native-protocol-unix socket=%s auth-anonymous=1" % socket_path],
            env=env)
        self.pulse_server = "unix:" + socket_path
        self.pulse_home = home
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            r = subprocess.run(["pactl", "info"], env=self.env(), capture_output=True)
            if r.returncode == 0:
                return
            time.sleep(0.1)
        raise RuntimeError("pulseaudio did not come up:\n" + self.procs.log_text("pulseaudio"))

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
        if self.display:
            env["DISPLAY"] = self.display
        if self.pulse_server:
            env["PULSE_SERVER"] = self.pulse_server
            env["PULSE_SINK"] = self.SINK
        env.pop("QT_QPA_PLATFORM", None)
        # No accessibility bus: GTK would start daemons of its own that outlive the players.
        env["NO_AT_BRIDGE"] = "1"
        env["GTK_A11Y"] = "none"
        env.update(extra)
        return env


# ---------------------------------------------------------------------------------------------
# Listening to the sink.

class SinkListener:
    """Records the null sink's monitor for the whole run (parec, 8 kHz mono) and answers which
    tone sounded in a stretch of time."""

    def __init__(self, desktop, procs):
        self.samples = array.array("h")
        self.marks = []  # (monotonic time at the end of a read, samples so far)
        self.lock = threading.Lock()
        self.proc = procs.start("parec", [
            "parec", "--device=%s.monitor" % Desktop.SINK, "--rate=%d" % SAMPLE_RATE,
            "--channels=1", "--format=s16le", "--raw", "--latency-msec=20"],
            env=desktop.env(), stdout=subprocess.PIPE)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        fd = self.proc.stdout.fileno()
        pending = b""
        while True:
            try:
                chunk = os.read(fd, 1600)
            except OSError:
                return
            if not chunk:
                return
            now = time.monotonic()
            pending += chunk
            usable = len(pending) - len(pending) % 2
            with self.lock:
                self.samples.frombytes(pending[:usable])
                self.marks.append((now, len(self.samples)))
                if len(self.marks) > 200000:
                    self.marks = self.marks[-100000:]
            pending = pending[usable:]

    def now_index(self):
        with self.lock:
            return len(self.samples)

    def window(self, seconds, end_index=None):
        """The last `seconds` of samples (ending at end_index, default now)."""
        n = int(seconds * SAMPLE_RATE)
        with self.lock:
            end = len(self.samples) if end_index is None else end_index
            if end < n:
                return None
            return self.samples[end - n:end]

    def time_of_index(self, index, span=2.0):
        """When the sample at `index` sounded, on the monotonic clock, plus the recording's
        smallest delay. The sink's clock is the system's, so the samples lie on a line: each
        read gives a point on or above it (the samples waited in parec's buffer), and the lowest
        point within `span` seconds of the index fixes it. A read's own time would be up to a
        fragment late, and how late varies from read to read."""
        reach = int(span * SAMPLE_RATE)
        with self.lock:
            first = bisect.bisect_left(self.marks, index - reach, key=lambda mark: mark[1])
            last = bisect.bisect_right(self.marks, index + reach, key=lambda mark: mark[1])
            near = [t - count / SAMPLE_RATE for t, count in self.marks[first:last]]
        if not near:
            return time.monotonic()
        return min(near) + index / SAMPLE_RATE


class ToneMeter:
    """Power at each candidate frequency (a Hann-windowed single-bin DFT)."""

    def __init__(self, candidates, window_seconds=0.25):
        self.candidates = list(candidates)
        self.n = int(window_seconds * SAMPLE_RATE)
        hann = [0.5 - 0.5 * math.cos(2 * math.pi * i / (self.n - 1)) for i in range(self.n)]
        self.hann = array.array("d", hann)
        self.tables = []
        for f in self.candidates:
            w = 2 * math.pi * f / SAMPLE_RATE
            self.tables.append((array.array("d", (math.cos(w * i) for i in range(self.n))),
                                array.array("d", (math.sin(w * i) for i in range(self.n)))))

    def measure(self, samples):
        """(dominant frequency or None, its share ratio over the runner-up, rms)."""
        if samples is None or len(samples) < self.n:
            return None, 0.0, 0.0
        x = samples[-self.n:]
        rms = math.sqrt(sum(v * v for v in x) / self.n)
        xw = [a * b for a, b in zip(x, self.hann)]
        powers = []
        for c, s in self.tables:
            re_ = sum(map(float.__mul__, xw, c))
            im_ = sum(map(float.__mul__, xw, s))
            powers.append(re_ * re_ + im_ * im_)
        order = sorted(range(len(powers)), key=powers.__getitem__, reverse=True)
        top, second = powers[order[0]], powers[order[1]] if len(order) > 1 else 0.0
        ratio = top / second if second > 0 else float("inf")
        return self.candidates[order[0]], ratio, rms


SILENCE_RMS = 40.0  # of 32767; a tone at the player's volume 50 measures in the hundreds
CLEAR_RATIO = 20.0  # the dominant tone's power over the runner-up's for a clear reading


def listen_for(listener, meter, expected, since_index, timeout, allowed_before=(),
               hold_seconds=1.0, step=0.05, start_time=None):
    """Waits until `expected` sounds clearly and steadily for hold_seconds, starting after the
    sample index since_index. Returns a dict: ok, latency (s from start_time, by default the
    time of since_index, to the onset of the expected tone), wrong (frequencies heard clearly
    that were neither expected nor in allowed_before), last (the last reading)."""
    if start_time is None:
        start_time = listener.time_of_index(since_index) if since_index else time.monotonic()
    deadline = time.monotonic() + timeout
    first_clear = None
    wrong = set()
    last = None
    window_samples = meter.n
    previous_end = since_index
    while time.monotonic() < deadline:
        time.sleep(step)
        end = listener.now_index()
        if end - since_index < window_samples:
            continue
        freq, ratio, rms = meter.measure(listener.window(window_samples / SAMPLE_RATE, end))
        last = (freq, ratio, rms)
        clear = rms >= SILENCE_RMS and ratio >= CLEAR_RATIO
        if clear and freq == expected:
            if first_clear is None:
                # Windows that reach back before since_index are not judged: what sounded
                # before (silence, or the tone itself) would make them read early.
                first_clear = _earliest_clear(listener, meter, expected,
                                              max(previous_end, since_index + window_samples - 1),
                                              end)
            if (end - first_clear) / SAMPLE_RATE >= hold_seconds:
                onset = tone_onset(listener, expected, since_index, first_clear)
                if onset is None:
                    onset = first_clear - window_samples // 2
                latency = listener.time_of_index(onset) - start_time
                return {"ok": True, "latency": max(0.0, latency), "wrong": sorted(wrong),
                        "last": last}
        else:
            if clear and freq not in allowed_before:
                wrong.add(freq)
            if first_clear is not None and (clear or rms < SILENCE_RMS):
                first_clear = None  # the tone did not hold
        previous_end = end
    return {"ok": False, "latency": None, "wrong": sorted(wrong), "last": last}


def tone_onset(listener, frequency, since_index, clear_end, block=0.010, stride=0.0025):
    """The sample index at which `frequency` began, to `stride` seconds, given a window ending at
    clear_end that reads it clearly; None if it cannot be told.

    The long window tells which tone sounds but not when it began: where it first reads clearly
    depends on what sounded before (a tone after silence reads early, a tone right after another
    reads late). So the onset is found in short blocks, going back from the clear window: a
    block belongs to the tone while the tone explains 90 % of it or more (a least-squares fit of
    the tone's sine and cosine) at half the level it has at the clear window's end or more. A
    block of 10 ms is three cycles of the lowest tone; a neighbour 60 Hz off fits it to at most
    about half."""
    n = int(block * SAMPLE_RATE)
    step = max(1, int(stride * SAMPLE_RATE))
    w = 2 * math.pi * frequency / SAMPLE_RATE
    with listener.lock:
        if clear_end > len(listener.samples) or clear_end - since_index < n:
            return None
        x = listener.samples[since_index:clear_end]

    # The tone's phase is fitted in each block, so one sine and cosine serve every block.
    c = [math.cos(w * i) for i in range(n)]
    s = [math.sin(w * i) for i in range(n)]
    cc = sum(v * v for v in c)
    ss = sum(v * v for v in s)
    cs = sum(a * b for a, b in zip(c, s))
    det = cc * ss - cs * cs

    def fit(start):
        seg = x[start:start + n]
        xc = sum(a * b for a, b in zip(seg, c))
        xs = sum(a * b for a, b in zip(seg, s))
        energy = sum(v * v for v in seg)
        if det <= 0 or energy <= 0:
            return 0.0, 0.0
        a = (xc * ss - xs * cs) / det
        b = (xs * cc - xc * cs) / det
        explained = (a * xc + b * xs) / energy
        return explained, math.sqrt(energy / n)

    last = len(x) - n
    explained, level = fit(last)
    if explained < 0.9:
        return None
    onset = last
    for start in range(last - step, -1, -step):
        explained, rms = fit(start)
        if explained < 0.9 or rms < 0.5 * level:
            break
        onset = start
    return since_index + onset


def _earliest_clear(listener, meter, expected, after, end, resolution=0.005):
    """The earliest window end in (after, end] at which `expected` already reads clearly, to
    `resolution` seconds: the readings come every `step`, and a latency taken at the reading
    would carry up to one step of waiting."""
    stride = max(1, int(resolution * SAMPLE_RATE))
    earliest = end
    at = end - stride
    while at > after and at - meter.n >= 0:
        freq, ratio, rms = meter.measure(listener.window(meter.n / SAMPLE_RATE, at))
        if not (rms >= SILENCE_RMS and ratio >= CLEAR_RATIO and freq == expected):
            break
        earliest = at
        at -= stride
    return earliest


# ---------------------------------------------------------------------------------------------
# The program and its window, through the X server.

class Program:
    def __init__(self, desktop, procs, path, extra_env=None):
        self.desktop = desktop
        self.procs = procs
        self.path = path
        home = tempfile.mkdtemp(prefix="home-", dir=desktop.workdir)
        env = desktop.env(QT_QPA_PLATFORM="xcb", HOME=home,
                          XDG_RUNTIME_DIR=os.path.join(desktop.pulse_home, "..", "run"),
                          XDG_CONFIG_HOME=os.path.join(home, ".config"),
                          XDG_CACHE_HOME=os.path.join(home, ".cache"))
        env.update(extra_env or {})
        self.started_at = time.monotonic()
        self.proc = procs.start("program", [path], env=env)
        self.window = None

    def x(self, *argv, check=True):
        r = subprocess.run(list(argv), env=self.desktop.env(), capture_output=True, text=True)
        if check and r.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(argv), r.stderr.strip()))
        return r.stdout

    def find_window(self, caption=WINDOW_CAPTION, timeout=30.0, visible=True):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.proc.poll() is not None:
                raise RuntimeError("the program ended (status %s):\n%s" % (
                    self.proc.returncode, self.procs.log_text("program")[-3000:]))
            argv = ["xdotool", "search"] + (["--onlyvisible"] if visible else []) + [
                "--name", "^%s$" % re.escape(caption)]
            out = self.x(*argv, check=False).split()
            if out:
                return int(out[0])
            time.sleep(0.05)
        raise RuntimeError("no window %r within %g s" % (caption, timeout))

    def wait_main_window(self, timeout=30.0):
        self.window = self.find_window(timeout=timeout)
        return time.monotonic() - self.started_at

    def geometry(self, window):
        """Absolute client position and size, and map state."""
        out = self.x("xwininfo", "-id", str(window))
        get = lambda key: re.search(key + r":\s+(-?\d+)", out).group(1)  # noqa: E731
        state = re.search(r"Map State:\s+(\w+)", out).group(1)
        return {"x": int(get("Absolute upper-left X")), "y": int(get("Absolute upper-left Y")),
                "w": int(get("Width")), "h": int(get("Height")), "state": state}

    def frame_of(self, window):
        """The top-level ancestor (the window manager's frame) of a client window."""
        current = window
        while True:
            out = self.x("xwininfo", "-children", "-id", str(current))
            root = int(re.search(r"Root window id:\s+(0x[0-9a-f]+)", out).group(1), 16)
            parent = int(re.search(r"Parent window id:\s+(0x[0-9a-f]+)", out).group(1), 16)
            if parent == root:
                return current
            current = parent

    def wm_state(self, window):
        out = self.x("xprop", "-id", str(window), "WM_STATE", check=False)
        m = re.search(r"window state:\s+(\w+)", out)
        return m.group(1) if m else "None"

    def click(self, window, x, y, button=1, repeat=1):
        self.x("xdotool", "mousemove", "--window", str(window), str(x), str(y))
        time.sleep(0.05)
        self.x("xdotool", "click", "--repeat", str(repeat), "--delay", "80", str(button))

    def key(self, *keys):
        self.x("xdotool", "key", "--delay", "60", *keys)

    def activate(self, window):
        self.x("xdotool", "windowactivate", "--sync", str(window), check=False)

    def popup_window(self, exclude, timeout=3.0):
        """The dropped-down list: a newly mapped top-level of the program other than `exclude`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            out = self.x("xdotool", "search", "--onlyvisible", "--pid", str(self.proc.pid),
                         check=False).split()
            for w in out:
                w = int(w)
                if w in exclude:
                    continue
                g = self.geometry(w)
                if g["state"] == "IsViewable" and g["h"] > 60:
                    return w, g
            time.sleep(0.05)
        raise RuntimeError("the station list did not drop down")

    COMBO_ARROW = (232, 109)
    VISIBLE_ITEMS = 12

    def pick_by_mouse(self, index, count):
        """Opens the list with its arrow button and clicks the item `index` (0-based)."""
        self.click(self.window, *self.COMBO_ARROW)
        popup, g = self.popup_window({self.window})
        rows = min(self.VISIBLE_ITEMS, count)
        item_h = g["h"] / rows
        # Scroll the list to its top, then down three items a notch as far as needed.
        self.x("xdotool", "mousemove", "--window", str(popup), str(g["w"] // 2), str(g["h"] // 2))
        self.x("xdotool", "click", "--repeat", str(count // 3 + 2), "--delay", "20", "4")
        notches = 0
        while index - min(3 * notches, count - rows) >= rows:
            notches += 1
        if notches:
            self.x("xdotool", "click", "--repeat", str(notches), "--delay", "40", "5")
        top = min(3 * notches, count - rows)
        row = index - top
        time.sleep(0.15)
        y = int(item_h * row + item_h / 2)
        self.x("xdotool", "mousemove", "--window", str(popup), str(g["w"] // 3), str(y))
        time.sleep(0.1)
        self.x("xdotool", "click", "1")

    def screenshot(self, window, path):
        """The window with its frame, and the client area's offset inside the picture."""
        self.x("import", "-window", str(window), "-frame", path)
        client = self.geometry(window)
        frame = self.geometry(self.frame_of(window))
        return (client["x"] - frame["x"], client["y"] - frame["y"]), client, frame


def wait_until(predicate, timeout, step=0.05):
    """True as soon as predicate() is; else what it says at the timeout."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def peak_memory_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def tree_pids(pid):
    """pid and its descendants."""
    out = [pid]
    try:
        children = open("/proc/%d/task/%d/children" % (pid, pid)).read().split()
    except OSError:
        children = []
    for c in children:
        out += tree_pids(int(c))
    return out


def rss_kib(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None
