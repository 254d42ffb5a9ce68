#!/usr/bin/python3
"""Every station, heard through the real program, in a private network.

Starts the built program unchanged in a network namespace of its own (unshare -n -m), where the
test servers answer at the hosts of the station hosts file the program was configured with, and
at the catalogue's ports and paths, under Xvfb with a window manager
and a PulseAudio null sink. Picks each of the stations in the real window, by mouse or by the
arrow keys as a user would, and checks on the sink that the station's own tone is heard. Then
checks the window as a person sees it (screenshots against the window's bands) before and after
a visit to the credits window and after a minimise and restore, with the sound going on. Then
stations turn hostile: one leads to a local file and to servers on the listener's own machine
(refused, nothing connects there), one sends a head without end (let go; the next station
plays). Ends the program with its close picture.

Exit status: 0 all passed, 1 a check failed, 77 skipped (not root).
"""

import argparse
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools",
                                "e2e"))
import bands  # noqa: E402
import networld as nw  # noqa: E402

import comeback  # noqa: E402

TUNE_TIMEOUT_S = 20.0
# The hostile stations' targets beside this machine's loopback: an address of its private
# network (put on lo), and a public address that a bait name answers together with 127.0.0.1.
PRIVATE_BAIT = "10.77.0.1"
REBIND_PUBLIC = "198.18.0.250"
REBIND_NAME = "rebind.tarvelin.example.net"


class Failures:
    def __init__(self):
        self.items = []
        self.count = 0

    def check(self, name, passed, detail=""):
        self.count += 1
        print("%s  %s%s" % ("PASS" if passed else "FAIL", name, ("  (%s)" % detail) if detail
                            else ""), flush=True)
        if not passed:
            self.items.append(name)
        return passed


def viewable(prog, window):
    try:
        return prog.geometry(window)["state"] == "IsViewable"
    except RuntimeError:
        return False


def shot_of_main(prog, workdir, name):
    path = os.path.join(workdir, name + ".png")
    offset, client, _frame = prog.screenshot(prog.window, path)
    return bands.Shot(path, offset, (client["w"], client["h"])), path


def check_bands(failures, shot, when):
    for name, passed, detail in bands.check_main_window(shot):
        failures.check("window %s: %s" % (when, name), passed, detail)


def still_playing(failures, listener, meter, frequency, when):
    result = nw.listen_for(listener, meter, frequency, listener.now_index(), 8.0,
                           allowed_before=(frequency,))
    failures.check("sound goes on %s" % when, result["ok"],
                   "last reading %s" % (result["last"],))


def tune_all(prog, plan, listener, meter, failures):
    """Picks every station in list order; a third of them by mouse, the rest by Down."""
    rows = []
    previous = None
    count = len(plan.stations)
    for index, station in enumerate(plan.stations):
        by_mouse = index % 3 == 0
        since = listener.now_index()
        if by_mouse:
            prog.pick_by_mouse(index, count)
        else:
            prog.key("Down")
        allowed = () if previous is None else (previous,)
        result = nw.listen_for(listener, meter, station.frequency, since, TUNE_TIMEOUT_S,
                               allowed_before=allowed)
        method = "mouse" if by_mouse else "Down key"
        detail = "%s, %s, %g Hz" % (station.kind, method, station.frequency)
        if result["ok"]:
            detail += ", heard after %.2f s" % result["latency"]
        else:
            detail += ", last reading %s" % (result["last"],)
        if result["wrong"]:
            detail += ", ALSO HEARD %s" % ", ".join("%g Hz" % f for f in result["wrong"])
        failures.check("station %2d %r heard at its own tone" % (station.position, station.name),
                       result["ok"] and not result["wrong"], detail)
        rows.append((station, method, result))
        previous = station.frequency
    return rows


def visit_credits(prog, listener, meter, failures, frequency, workdir):
    prog.click(prog.window, 120, 60)
    found = nw.wait_until(lambda: not viewable(prog, prog.window), 5.0)
    failures.check("a click on the banner hides the main window", found)
    try:
        form2 = prog.find_window(caption="Form2", timeout=5.0)
    except RuntimeError as error:
        failures.check("the credits window appears", False, str(error))
        return
    g = prog.geometry(form2)
    f = prog.geometry(prog.frame_of(form2))
    failures.check("the credits window appears: 431 x 311, no frame around it",
                   (g["w"], g["h"]) == (431, 311) and (f["w"], f["h"]) == (431, 311),
                   "client %dx%d, outer %dx%d" % (g["w"], g["h"], f["w"], f["h"]))
    still_playing(failures, listener, meter, frequency, "while the credits window is shown")
    prog.click(form2, 18, 297)
    back = nw.wait_until(lambda: viewable(prog, prog.window), 5.0)
    failures.check("the credits window's close button brings the main window back", back)
    failures.check("the credits window is hidden again", nw.wait_until(
        lambda: not viewable(prog, form2), 5.0))


def minimise_and_restore(prog, listener, meter, failures, frequency):
    prog.click(prog.window, 205, 8)
    iconic = nw.wait_until(lambda: prog.wm_state(prog.window) == "Iconic", 5.0)
    failures.check("the minimise picture minimises the main window", iconic,
                   "WM_STATE %s" % prog.wm_state(prog.window))
    still_playing(failures, listener, meter, frequency, "while the main window is minimised")
    prog.x("xdotool", "windowactivate", str(prog.window), check=False)
    if not nw.wait_until(lambda: viewable(prog, prog.window), 3.0):
        prog.x("xdotool", "windowmap", str(prog.window), check=False)
    failures.check("the main window is restored by the window manager",
                   nw.wait_until(lambda: viewable(prog, prog.window)
                                 and prog.wm_state(prog.window) == "Normal", 5.0))


def open_files(pid):
    """The files the program holds open."""
    found = set()
    for name in os.listdir("/proc/%d/fd" % pid):
        try:
            found.add(os.readlink("/proc/%d/fd/%s" % (pid, name)))
        except OSError:
            pass
    return found


def counting_listener(address="127.0.0.1"):
    """A server on `address`, on a free port, that counts the connections it is offered: its
    port and the list it appends each one to."""
    sock, accepted = socket.create_server((address, 0)), []

    def accept():
        while True:
            accepted.append(sock.accept()[0].close())
    threading.Thread(target=accept, daemon=True).start()
    return sock.getsockname()[1], accepted


def replace_server(plan, procs, servers, label, argv):
    for lbl, p in list(procs.items):
        if lbl == label:
            procs.stop(p)
    nw.start_servers(plan, procs, servers, "-", replace={label: argv},
                     only=lambda lbl: lbl == label)


def local_addresses_refused(prog, plan, procs, listener, meter, failures, servers, workdir):
    """The m3u station's server (a public address) turns hostile: its playlist names a local
    recording, then a server on the listener's own machine by number and by name, over HTTP,
    through a redirect and over MMS. Picking the station plays nothing, opens nothing local and
    connects to nothing on this machine."""
    index, station = next((i, s) for i, s in enumerate(plan.stations) if s.kind == "m3u")
    bait = os.path.join(workdir, "local.wav")
    nw.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=%g:duration=30"
            % station.frequency, bait])
    port, accepted = counting_listener()
    by_number, by_name = "127.0.0.1:%d" % port, "localhost:%d" % port
    entries = ["file://" + bait, "http://%s/a.mp3" % by_number, "http://%s/b.mp3" % by_name,
               "http://%s:%d/moved-local" % (station.host, station.port),
               "mmst://%s/c" % by_number, "mmsh://%s/d" % by_name]
    label = "http %s:%d" % (station.host, station.port)
    argv = dict(plan.server_commands(servers, "-"))[label] + sum(
        (["--local-playlist", e] for e in entries), ["--local-redirect", "http://%s/e" % by_number])
    replace_server(plan, procs, servers, label, argv)
    refusals_before = procs.log_text("program").count("not reached from this station")
    prog.pick_by_mouse(index, len(plan.stations))
    seen, heard = set(), False
    # The station played just before, at the same tone: what the sound server still held of it
    # plays out first, so listening starts a second after the pick (the bait is 30 s long).
    deadline = time.monotonic() + 1.0
    while time.monotonic() < deadline:
        seen |= {f for f in open_files(prog.proc.pid) if f == bait}
    since = listener.now_index()
    deadline = time.monotonic() + 6.0
    while time.monotonic() < deadline:
        seen |= {f for f in open_files(prog.proc.pid) if f == bait}
        heard = heard or nw.listen_for(listener, meter, station.frequency, since, 0.4,
                                       hold_seconds=0.2)["ok"]
    server_log = procs.log_text(label)
    asked = "GET %s" % station.path in server_log and "GET /moved-local" in server_log
    # Each address on this machine was refused for where it leads (the program's diagnostics).
    refused = procs.log_text("program").count("not reached from this station") - refusals_before
    failures.check("a public station whose playlist names a local file or a server on this "
                   "machine plays nothing, opens nothing local and connects to nothing here",
                   asked and not seen and not heard and not accepted and refused >= 5,
                   "playlist and redirect fetched %s, files opened %s, its tone heard %s, "
                   "connections here %d, refusals %d"
                   % (asked, sorted(seen), heard, len(accepted), refused))


def nested_opens_reach_nothing(prog, plan, procs, listener, meter, failures, servers, workdir):
    """A public station's opens on a stream's behalf turn hostile: HLS playlists whose segments
    redirect to this machine (by number and by name) or into its private network, a segment
    host whose name also answers a loopback address, segments over https with a certificate no
    one trusts, and an MMS-over-HTTP server redirecting to this machine. Nothing here is
    reached, nothing plays, and the certificate is given as the reason."""
    index, station = next((i, s) for i, s in enumerate(plan.stations) if s.kind == "m3u")
    host = plan.address(station.host)
    port, accepted = counting_listener()
    nw.run(["ip", "addr", "add", PRIVATE_BAIT + "/32", "dev", "lo"])
    private_port, private_accepted = counting_listener(PRIVATE_BAIT)
    with open("/etc/hosts", "a") as hosts:  # the namespace's own file
        hosts.write("%s %s\n127.0.0.1 %s\n" % (REBIND_PUBLIC, REBIND_NAME, REBIND_NAME))
    taken = {s.port for s in plan.stations if plan.address(s.host) == host}
    bait_port = next(p for p in range(18090, 18200) if p not in taken and p + 1 not in taken)
    cert, key = os.path.join(workdir, "bait.crt"), os.path.join(workdir, "bait.key")
    nw.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
            "/CN=%s" % station.host, "-keyout", key, "-out", cert])
    origin = "http://%s:%d" % (station.host, bait_port)
    bait = [os.path.join(servers, "e2e", "bait_server.py"), "--servers", servers]
    hls = {"loopback": (origin + "/to-loopback.ts", "http://127.0.0.1:%d/a.ts" % port),
           "localhost": (origin + "/to-localhost.ts", "http://localhost:%d/b.ts" % port),
           "private": (origin + "/to-private.ts",
                       "http://%s:%d/c.ts" % (PRIVATE_BAIT, private_port)),
           "rebind": ("http://%s:%d/d.ts" % (REBIND_NAME, port), None),
           "untrusted": ("https://%s:%d/e.ts" % (station.host, bait_port + 1), None)}
    argv = ["/usr/bin/python3"] + bait + ["--host", host, "--port", str(bait_port)]
    for name, (segment, target) in hls.items():
        argv += ["--hls", "%s=%s" % (name, segment)]
        if target:
            argv += ["--redirect", "%s=%s" % (segment[len(origin):], target)]
    baits = [procs.start("bait", argv, stdout=subprocess.PIPE),
             procs.start("bait tls", ["/usr/bin/python3"] + bait + [
                 "--host", host, "--port", str(bait_port + 1), "--tls", cert + ":" + key],
                 stdout=subprocess.PIPE)]
    mms_index, mms = next((i, s) for i, s in enumerate(plan.stations) if s.kind == "mms")
    mms_label = "mmsh %s:%d" % (mms.host, mms.port)
    replace_server(plan, procs, servers, mms_label, ["/usr/bin/python3"] + bait + [
        "--host", plan.address(mms.host), "--port", str(mms.port),
        "--redirect", "%s=http://127.0.0.1:%d/mms" % (mms.path, port)])
    label = "http %s:%d" % (station.host, station.port)
    replace_server(plan, procs, servers, label, dict(plan.server_commands(servers, "-"))[label]
                   + sum((["--local-playlist", "%s/%s.m3u8" % (origin, n)] for n in hls), []))
    for started in baits:
        ready, _, _ = select.select([started.stdout], [], [], 20.0)
        if not ready or not started.stdout.readline().startswith(b"READY"):
            raise RuntimeError("a bait server did not start")
    log_before = len(procs.log_text("program"))

    def untrusted_tried():  # the last candidate of the list
        return any("candidate failed" in line and ":%d/untrusted" % bait_port in line
                   for line in procs.log_text("program")[log_before:].splitlines())

    heard = False
    for pick, tried in ((index, untrusted_tried),
                        (mms_index, lambda: "GET %s" % mms.path in procs.log_text(mms_label))):
        prog.pick_by_mouse(pick, len(plan.stations))
        since, began = listener.now_index(), time.monotonic()
        # Listened to for at least 4 s, and until the pick has tried what it was given.
        while time.monotonic() - began < 30.0 and (time.monotonic() - began < 4.0 or not tried()):
            heard = nw.listen_for(listener, meter, plan.stations[pick].frequency, since, 0.5,
                                  hold_seconds=0.2)["ok"] or heard
    log = procs.log_text("program")[log_before:]
    asked = [n for n in hls if "GET /%s.m3u8" % n in procs.log_text("bait")]
    refused = log.count("not reached from this station")
    untrusted = [line for line in log.splitlines()
                 if "candidate failed" in line and ":%d/untrusted" % bait_port in line]
    failures.check("a public station's HLS segments and MMS server that lead to this machine or "
                   "its network reach nothing and play nothing; an untrusted certificate is "
                   "named as the reason",
                   len(asked) == len(hls) and not heard and not accepted
                   and not private_accepted and refused >= 5
                   and "GET %s" % mms.path in procs.log_text(mms_label)
                   and untrusted and "Certificate" in untrusted[-1],
                   "playlists fetched %s, heard %s, connections here %d and %d, refusals %d, "
                   "untrusted segments' failure %s"
                   % (asked, heard, len(accepted), len(private_accepted), refused,
                      untrusted[-1:] or "not logged"))


def endless_head_let_go(prog, plan, procs, listener, meter, failures, servers):
    """A stream server turns hostile and sends a head without an end, as fast as it is read:
    the player gives up and closes the connection, and the next station plays."""
    roots = [(i, s) for i, s in enumerate(plan.stations) if s.kind == "stream root"]
    index, station = roots[0]
    good_index, good = next((i, s) for i, s in roots if (s.host, s.port) != (station.host,
                                                                               station.port))
    label = "icy %s:%d" % (station.host, station.port)
    replace_server(plan, procs, servers, label,
                   ["/usr/bin/python3", os.path.join(servers, "fault_server.py"), "--mode",
                    "flood", "--host", plan.address(station.host), "--port", str(station.port)])
    prog.pick_by_mouse(index, len(plan.stations))
    # The server logs the request, and once it can no longer write, the close.
    closed = nw.wait_until(lambda: "CLOSED after" in procs.log_text(label), 20.0, step=0.2)
    failures.check("a server sending a head without end is let go: the connection is closed",
                   closed, procs.log_text(label)[-300:])
    since = listener.now_index()
    prog.pick_by_mouse(good_index, len(plan.stations))
    result = nw.listen_for(listener, meter, good.frequency, since, TUNE_TIMEOUT_S)
    failures.check("the station picked next plays", result["ok"] and not result["wrong"],
                   "last reading %s, also heard %s" % (result["last"], result["wrong"]))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--program", required=True)
    parser.add_argument("--catalogue", required=True, help="the e2e_catalogue helper")
    parser.add_argument("--hosts", required=True,
                        help="the station hosts file the program was configured with")
    parser.add_argument("--servers", required=True, help="the folder of the test servers")
    parser.add_argument("--corpus", required=True, help="the SWF corpus (read at run time)")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    args = parser.parse_args()
    nw.enter_namespace(sys.argv)

    began = time.monotonic()
    failures = Failures()
    plan = nw.load_plan(args.catalogue, args.hosts)
    if not failures.check("the catalogue's hosts are those of %s" % args.hosts,
                          not (plan.unconfigured_hosts or plan.unused_hosts
                               or plan.unused_settings),
                          "not in the file: %s; not in the catalogue: %s"
                          % (", ".join(plan.unconfigured_hosts or ["-"]),
                             ", ".join(plan.unused_hosts + plan.unused_settings or ["-"]))):
        return 1
    swf = os.path.join(args.corpus, "gnash", "simple_loop_test", "test.swf")
    if not os.path.isfile(swf):
        print("FAIL  the movie %s is missing" % swf)
        return 1
    workdir = tempfile.mkdtemp(prefix="radio-e2e-")
    procs = nw.Processes(workdir)
    try:
        failures.check("every station's endpoint is of a kind the servers can answer",
                       not plan.unknown_kinds(),
                       ", ".join(s.name for s in plan.unknown_kinds()))
        failures.check("%d stations, %d distinct endpoints" % (len(plan.stations),
                                                               len(plan.tones)),
                       len(plan.stations) == 35 and len(plan.tones) == 33)
        nw.set_up_network(plan, workdir)
        print("note  namespace: lo only; %d numeric hosts and %d names on lo"
              % (len(plan.ipv4_hosts), len(plan.name_addresses)), flush=True)
        nw.start_servers(plan, procs, os.path.abspath(args.servers), swf)
        print("note  %d servers ready after %.1f s" % (len(procs.items), time.monotonic() - began),
              flush=True)
        desktop = nw.Desktop(procs, workdir)
        desktop.start()
        listener = nw.SinkListener(desktop, procs)
        meter = nw.ToneMeter(plan.candidates())

        # The player's decisions and its refusals of addresses in its log: they show why a
        # hostile station played nothing, and what the world did to it.
        prog = nw.Program(desktop, procs, os.path.abspath(args.program), extra_env={
            "QT_LOGGING_RULES":
                "radio.player.info=true;radio.fetch.info=true;radio.engine.warning=true"})
        startup = prog.wait_main_window()
        print("note  main window shown %.2f s after start" % startup, flush=True)
        time.sleep(1.5)  # the movies load, the first ticks pass
        silent = nw.listen_for(listener, meter, -1.0, listener.now_index(), 1.0)
        failures.check("silent before the first pick", not silent["wrong"] and (
            silent["last"] is None or silent["last"][2] < nw.SILENCE_RMS),
            "last reading %s" % (silent["last"],))
        movie_log = procs.log_text("movies %s:80" % nw.MOVIE_HOST)
        for path in nw.MOVIE_PATHS:
            failures.check("the movie %s is fetched from %s" % (path, nw.MOVIE_HOST),
                           "GET %s" % path in movie_log)
        first, _ = shot_of_main(prog, workdir, "start")
        check_bands(failures, first, "at start")

        rows = tune_all(prog, plan, listener, meter, failures)
        heard = sum(1 for _s, _m, r in rows if r["ok"] and not r["wrong"])
        twins = {}
        for station, _m, result in rows:
            twins.setdefault(station.url, []).append((station, result))
        for url, members in twins.items():
            if len(members) > 1:
                names = " and ".join(repr(s.name) for s, _r in members)
                failures.check("%s share one endpoint and one tone" % names,
                               all(r["ok"] for _s, r in members)
                               and len({s.frequency for s, _r in members}) == 1)
        last = plan.stations[-1].frequency

        visit_credits(prog, listener, meter, failures, last, workdir)
        after_credits, _ = shot_of_main(prog, workdir, "after-credits")
        check_bands(failures, after_credits, "after the credits window")
        d = bands.static_difference(first, after_credits)
        failures.check("window after the credits window looks as at start", d < 4.0,
                       "mean difference %.2f" % d)

        minimise_and_restore(prog, listener, meter, failures, last)
        time.sleep(0.5)
        restored, _ = shot_of_main(prog, workdir, "restored")
        check_bands(failures, restored, "after minimise and restore")
        d = bands.static_difference(first, restored)
        failures.check("window after minimise and restore looks as at start", d < 4.0,
                       "mean difference %.2f" % d)
        still_playing(failures, listener, meter, last, "after the restore")
        local_addresses_refused(prog, plan, procs, listener, meter, failures,
                                os.path.abspath(args.servers), workdir)
        nested_opens_reach_nothing(prog, plan, procs, listener, meter, failures,
                                   os.path.abspath(args.servers), workdir)
        endless_head_let_go(prog, plan, procs, listener, meter, failures,
                            os.path.abspath(args.servers))
        comeback.run_all(plan, procs, os.path.abspath(args.servers), prog, listener, meter,
                         failures)

        prog.click(prog.window, 232, 8)
        ended = nw.wait_until(lambda: prog.proc.poll() is not None, 5.0)
        failures.check("the close picture ends the program", ended)
        if ended:
            time.sleep(0.5)
            quiet = meter.measure(listener.window(0.5))
            failures.check("the sound stops with the program", quiet[2] < nw.SILENCE_RMS,
                           "rms %.0f" % quiet[2])

        program_log = procs.log_text("program")
        reports = [line for line in program_log.splitlines()
                   if "ERROR: AddressSanitizer" in line or "runtime error:" in line]
        failures.check("the program reported no memory or undefined-behaviour error",
                       not reports, "; ".join(reports[:3]))

        print("\nstations heard at their own tone: %d of %d" % (heard, len(plan.stations)))
        print("%d passed, %d failed" % (failures.count - len(failures.items),
                                        len(failures.items)))
        print("e2e took %.0f s" % (time.monotonic() - began))
    except Exception as error:  # a broken world is a failure, with its logs shown
        failures.check("the end-to-end world runs", False, "%s: %s" % (type(error).__name__,
                                                                        error))
        for label in ("program",):
            text = procs.log_text(label)
            if text:
                print("---- %s log (tail) ----\n%s" % (label, text[-4000:]))
    finally:
        procs.stop_all()
        if args.keep or failures.items:
            print("work folder kept: %s" % workdir)
        else:
            shutil.rmtree(workdir, ignore_errors=True)
    return 1 if failures.items else 0


if __name__ == "__main__":
    sys.exit(main())
