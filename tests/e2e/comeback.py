"""What real networks do, in the end-to-end world, and the player coming back from it: a stream
that goes silent with its connection open, short and long pauses on a live stream, the network going
away and coming back, and a network that answers with its sign-in page. Each case stands a
failing server in for one station's own and puts the station's server back after."""

import os
import select
import subprocess
import time

import networld as nw

PY = "/usr/bin/python3"
PORTAL = "203.0.113.77"  # a public address the world does not use otherwise


class StandIn:
    """Stops the servers of a station's address and serves it with fault_server.py instead,
    answering every request as `args` say; restore() puts the station's own server back."""

    def __init__(self, plan, procs, servers, station, args, host=None, port=None):
        self.plan, self.procs, self.servers = plan, procs, servers
        self.station = station
        self.suffix = " %s:%d" % (station.host, station.port)
        self.own = [label for label, _argv in plan.server_commands(servers, "-")
                    if label.endswith(self.suffix)]
        for label, proc in list(procs.items):
            if label in self.own and proc.poll() is None:
                procs.stop(proc)
        self.label = "stand-in" + self.suffix
        self.proc = start_ready(procs, self.label, [
            PY, os.path.join(servers, "fault_server.py"), "--mode", "http",
            "--host", host or plan.address(station.host),
            "--port", str(port or station.port)] + args)

    def requests(self):
        return self.procs.log_text(self.label).count("GET ")

    def restore(self):
        self.procs.stop(self.proc)
        nw.start_servers(self.plan, self.procs, self.servers, "-",
                         only=lambda label: label in self.own)


def start_ready(procs, label, argv, timeout=30.0):
    proc = procs.start(label, argv, stdout=subprocess.PIPE)
    deadline = time.monotonic() + timeout
    line = b""
    while not line.startswith(b"READY"):
        if time.monotonic() > deadline or proc.poll() is not None:
            raise RuntimeError("%s did not start:\n%s" % (label, procs.log_text(label)))
        if select.select([proc.stdout], [], [], 1.0)[0]:
            line = proc.stdout.readline()
    return proc


def pick(prog, plan, station):
    prog.pick_by_mouse(plan.stations.index(station), len(plan.stations))


def wait_silence(listener, meter, timeout):
    """Seconds until the sink goes quiet, or None."""
    began = time.monotonic()
    while time.monotonic() - began < timeout:
        time.sleep(0.1)
        if meter.measure(listener.window(0.25))[2] < nw.SILENCE_RMS:
            return time.monotonic() - began
    return None


def silent_connection(w, station):
    """The stream stops sending after 4 s, its connection left open: the player notices a few
    seconds after the sound ran out and reconnects (the server streams to a new connection)."""
    stand_in = StandIn(w.plan, w.procs, w.servers, station,
                       ["--as", "/silent", "--freq", "%g" % station.frequency,
                        "--stop-after", "4"])
    try:
        pick(w.prog, w.plan, station)
        heard = nw.listen_for(w.listener, w.meter, station.frequency, w.listener.now_index(),
                              15, hold_seconds=0.5)
        quiet = wait_silence(w.listener, w.meter, 15) if heard["ok"] else None
        since = w.listener.now_index()
        back = nw.listen_for(w.listener, w.meter, station.frequency, since, 30,
                             hold_seconds=1.0) if quiet is not None else {"ok": False}
        w.failures.check(
            "a stream gone silent with its connection open is reconnected",
            heard["ok"] and back["ok"] and stand_in.requests() >= 2,
            "heard %s, quiet %s, back %s, requests %d"
            % (heard["ok"], quiet, back.get("latency"), stand_in.requests()))
        if back["ok"]:
            print("note  sound back %.1f s after it ran out" % back["latency"], flush=True)
    finally:
        stand_in.restore()


def pauses_on_live(w, station, later):
    """A live stream whose tone changes 8 s after it is first asked for. Paused for 2 s, it
    resumes where it was, on the same connection; paused for 12 s, past the change and longer
    than the player holds a paused stream, it plays the stream as it is now, never the old
    tone."""
    stand_in = StandIn(w.plan, w.procs, w.servers, station,
                       ["--as", "/later", "--freq", "%g" % station.frequency,
                        "--later-freq", "%g" % later.frequency, "--stop-after", "8"])
    try:
        pick(w.prog, w.plan, station)
        heard = nw.listen_for(w.listener, w.meter, station.frequency, w.listener.now_index(),
                              6, hold_seconds=0.3)
        w.prog.click(w.prog.window, 60, 150)  # the player's display: it takes the keys
        w.prog.key("k")
        short_pause = wait_silence(w.listener, w.meter, 3) is not None
        time.sleep(1.5)
        since = w.listener.now_index()
        w.prog.key("k")
        again = nw.listen_for(w.listener, w.meter, station.frequency, since, 5,
                              hold_seconds=0.3)
        w.failures.check(
            "a live stream paused for 2 s resumes where it was, on the same connection",
            heard["ok"] and short_pause and again["ok"] and stand_in.requests() == 1,
            "heard %s, paused %s, again %s, requests %d"
            % (heard["ok"], short_pause, again["ok"], stand_in.requests()))

        w.prog.key("k")
        long_pause = wait_silence(w.listener, w.meter, 3) is not None
        time.sleep(12.0)
        since = w.listener.now_index()
        w.prog.key("k")
        now = nw.listen_for(w.listener, w.meter, later.frequency, since, 15, hold_seconds=1.0)
        w.failures.check(
            "a live stream resumed after a long pause plays as it is now, not what it was",
            long_pause and now["ok"] and station.frequency not in now["wrong"],
            "paused %s, now %s, also heard %s" % (long_pause, now["ok"], now["wrong"]))
    finally:
        stand_in.restore()


def network_away_and_back(w, station, outage=30.0):
    """The network goes for `outage` seconds while a station plays: the player keeps trying
    and plays again soon after the network is back, whatever its waits had grown to."""
    pick(w.prog, w.plan, station)
    heard = nw.listen_for(w.listener, w.meter, station.frequency, w.listener.now_index(), 15,
                          hold_seconds=0.5)
    nw.run(["ip", "link", "set", "lo", "down"])
    try:
        time.sleep(outage)
    finally:
        nw.run(["ip", "link", "set", "lo", "up"])
    since = w.listener.now_index()
    back = nw.listen_for(w.listener, w.meter, station.frequency, since, 20, hold_seconds=1.0)
    latency = back["latency"] if back["ok"] else None
    if latency is not None:
        print("note  sound back %.2f s after the network came back" % latency, flush=True)
    # Without news of the network the next attempt could be up to the longest wait away (10 s).
    w.failures.check("after %g s without a network, the station plays again within 4 s of its "
                     "return" % outage, heard["ok"] and latency is not None and latency <= 4.0,
                     "heard %s, back after %s s" % (heard["ok"], latency))


def sign_in_page(w, station):
    """The network answers the station's address with a redirect to its sign-in page: the
    player says so, and plays once the network changes and the station answers again."""
    nw.run(["ip", "addr", "add", PORTAL + "/32", "dev", "lo"])
    portal_label = "portal %s:80" % PORTAL
    portal = start_ready(w.procs, portal_label, [
        PY, os.path.join(w.servers, "fault_server.py"), "--mode", "http", "--host", PORTAL,
        "--port", "80", "--as", "/html"])
    stand_in = StandIn(w.plan, w.procs, w.servers, station,
                       ["--as", "/portal", "--to", "http://%s/login" % PORTAL])
    restored = False
    try:
        log_before = len(w.procs.log_text("program"))
        pick(w.prog, w.plan, station)
        said = nw.wait_until(lambda: "WebPage" in w.procs.log_text("program")[log_before:], 15)
        w.failures.check("a sign-in page is told as a web page, not played",
                         said and "GET /login" in w.procs.log_text(portal_label),
                         "program log: %s" % w.procs.log_text("program")[log_before:][-600:])
        stand_in.restore()
        restored = True
        since = w.listener.now_index()
        nw.run(["ip", "addr", "del", PORTAL + "/32", "dev", "lo"])  # the network changes
        back = nw.listen_for(w.listener, w.meter, station.frequency, since, 15,
                             hold_seconds=1.0)
        w.failures.check("after a sign-in page, a change of the network plays the station",
                         back["ok"], "last reading %s" % (back["last"],))
    finally:
        w.procs.stop(portal)
        if not restored:
            stand_in.restore()


class World:
    def __init__(self, plan, procs, servers, prog, listener, meter, failures):
        self.plan, self.procs, self.servers = plan, procs, servers
        self.prog, self.listener, self.meter, self.failures = prog, listener, meter, failures


def run_all(plan, procs, servers, prog, listener, meter, failures):
    w = World(plan, procs, servers, prog, listener, meter, failures)
    roots = [s for s in plan.stations if s.kind == "stream root"]
    distinct = []
    for s in roots:
        if all(s.port != d.port or s.host != d.host for d in distinct):
            distinct.append(s)
    silent_connection(w, distinct[0])
    pauses_on_live(w, distinct[1], distinct[2])
    sign_in_page(w, distinct[3])
    network_away_and_back(w, distinct[2])
