#!/usr/bin/python3
"""Endpoints that fail, for testing how a player copes.

--mode refuse  binds the port without listening: every connection is refused (RST), and the
               port stays taken so nothing else can appear there while the server runs.
--mode hang    accepts connections, reads the request and never answers (holds them open).
--mode flood   accepts connections, reads the request and answers with a head that never ends,
               as fast as the client takes it; logs "CLOSED after N bytes" once the client has
               let the connection go (a client that stops reading but holds on blocks it).
--mode http    an HTTP server with these paths:
   /404              404 Not Found with an HTML body
   /html             200 OK, text/html, a web page instead of a stream
   /garbage          200 OK, audio/mpeg, random bytes that decode to nothing
   /stops            an MP3 tone until --stop-after seconds after the first request for the
                     address (path and query), then the connection closes; from then on the
                     address answers 404: the stream is gone
   /drop             the same tone, cut at --stop-after seconds after the first request; later
                     requests to the address stream for good: a reconnecting client comes back
   /slow             answers the headers, then trickles one byte a second
   /silent           the tone until --stop-after seconds after the first request, then nothing
                     more, the connection held open (a stream gone silent); later requests
                     stream for good
   /later            a live stream whose tone changes: --freq until --stop-after seconds after
                     the first request, --later-freq from then on, on every connection
   /portal           302 to --to for every request: a network's sign-in page instead of sound
Use a distinct query (/drop?id=3) to get a fresh address. --as PATH answers every request as if
it asked for PATH (to stand in for a station's server, whatever its paths).
Example: fault_server.py --mode http --port 8081 --freq 1200 --stop-after 4
"""

import os
import socket
import struct
import threading
import time

import streamcommon as sc

BITRATE_KBPS = 128


class FaultHandler(sc.Handler):
    def respond(self, request):
        server = self.server
        path = server.args.as_path or request.path
        target = server.args.as_path or request.target
        sc.log("%s %s" % (request.method, request.target))
        with server.lock:
            # The first request for an address starts its clock. A client may look at an address
            # before it plays it, so what an address does depends on that clock, not on how
            # many connections came.
            first_seen = server.first_seen.setdefault(target, time.monotonic())
        remaining = first_seen + server.args.stop_after - time.monotonic()
        byte_rate = BITRATE_KBPS * 1000 // 8
        stream_head = sc.http_response("200 OK", "audio/mpeg", None, ["icy-br: 128"])
        if path == "/404":
            self.send(sc.http_response("404 Not Found", "text/html",
                                       b"<html><body><h1>Not Found</h1></body></html>"))
        elif path == "/html":
            page = (b"<!DOCTYPE html>\n<html><head><title>Radio</title></head><body>"
                    b"<p>Our stream has moved. Please visit our web site.</p>" + b"x" * 4000
                    + b"</body></html>\n")
            self.send(sc.http_response("200 OK", "text/html; charset=utf-8", page))
        elif path == "/garbage":
            if self.send(stream_head):
                noise = sc.LoopedAudio(os.urandom(64 * 1024).replace(b"\xff", b"\x00"))
                sc.stream_audio(self.request, noise, byte_rate, seconds=60)
        elif path in ("/stops", "/drop"):
            if path == "/stops" and remaining <= 0:
                self.send(sc.http_response("404 Not Found", "text/html",
                                           b"<html><body>gone</body></html>"))
                return
            # Connections made in the address's first seconds are cut when they run out;
            # /drop streams for good to connections made after that.
            cut = remaining > 0
            if self.send(stream_head):
                # Little burst, so that the listener hears about as long as the server sends.
                sc.stream_audio(self.request, sc.LoopedAudio(server.tone), byte_rate,
                                burst_seconds=0.3 if cut else 2.0,
                                until=first_seen + server.args.stop_after if cut else None)
            if cut:
                if path == "/drop":
                    # Cut as a network failure does: a reset, not an orderly close.
                    self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                            struct.pack("ii", 1, 0))
                    self.request.close()
                else:
                    try:
                        self.request.shutdown(socket.SHUT_RDWR)
                    except OSError:
                        pass
        elif path == "/silent":
            if self.send(stream_head):
                sc.stream_audio(self.request, sc.LoopedAudio(server.tone), byte_rate,
                                burst_seconds=0.3 if remaining > 0 else 2.0,
                                until=first_seen + server.args.stop_after if remaining > 0
                                else None)
                if remaining > 0:
                    sc.log("silent from now on")
                    hold_until_client_leaves(self.request)
        elif path == "/later":
            if self.send(stream_head):
                if remaining > 0 and not sc.stream_audio(
                        self.request, sc.LoopedAudio(server.tone), byte_rate, burst_seconds=0.3,
                        until=first_seen + server.args.stop_after):
                    return
                sc.stream_audio(self.request, sc.LoopedAudio(server.later_tone), byte_rate,
                                burst_seconds=0.3)
        elif path == "/portal":
            self.send(sc.http_response("302 Found", "text/html", b"<html>Sign in</html>",
                                       ["Location: %s" % server.args.to]))
        elif path == "/slow":
            if self.send(stream_head):
                for _ in range(600):
                    time.sleep(1.0)
                    if not self.send(b"\x00"):
                        break
        else:
            self.send(sc.http_response("404 Not Found", "text/html",
                                       b"<html><body>unknown</body></html>"))


def hold_until_client_leaves(sock):
    sock.settimeout(None)
    try:
        while sock.recv(4096):
            pass
    except OSError:
        pass


class HangHandler(sc.Handler):
    def handle(self):
        # Read whatever comes, answer nothing, until the client gives up.
        self.request.settimeout(None)
        try:
            while self.request.recv(4096):
                pass
        except OSError:
            pass


class FloodHandler(sc.Handler):
    def respond(self, request):
        sc.log("%s %s" % (request.method, request.target))
        self.request.settimeout(None)
        block = (b"X-Filler: " + b"0123456789" * 6 + b"\r\n") * 256
        sent = 0
        if self.send(b"HTTP/1.1 200 OK\r\n"):
            while self.send(block):
                sent += len(block)
        sc.log("CLOSED after %d bytes" % sent)


def refuse(args):
    sc.die_with_parent()
    family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
    sock = socket.socket(family, socket.SOCK_STREAM)
    try:
        sock.bind((args.host, args.port))
    except OSError as error:
        sc.die("cannot bind %s port %d: %s" % (args.host, args.port, error))
    sc.announce(args.host, sock.getsockname()[1])
    threading.Event().wait()


def main():
    parser = sc.base_arguments("Failing endpoints")
    parser.add_argument("--mode", choices=["http", "hang", "flood", "refuse"], default="http")
    parser.add_argument("--freq", type=sc.parse_frequency, default=1200.0,
                        help="tone of /stops and /drop in Hz")
    parser.add_argument("--stop-after", type=float, default=4.0,
                        help="seconds of audio before /stops, /drop and /silent end, and before "
                        "/later changes its tone")
    parser.add_argument("--later-freq", type=sc.parse_frequency, default=1500.0,
                        help="tone of /later once it changed, in Hz")
    parser.add_argument("--to", default="http://192.0.2.1/login",
                        help="where /portal sends every request")
    parser.add_argument("--as", dest="as_path", default="",
                        help="answer every request as one for this path")
    args = parser.parse_args()
    if args.mode == "refuse":
        sc.install_termination()
        refuse(args)
        return
    if args.mode in ("hang", "flood"):
        sc.install_termination()
        sc.serve(args, HangHandler if args.mode == "hang" else FloodHandler)
        return
    workdir = sc.WorkDir("faults-")
    sc.install_termination(workdir.remove)
    tone = sc.make_tone(workdir, args.freq, 8, "mp3", BITRATE_KBPS)
    later_tone = (sc.make_tone(workdir, args.later_freq, 8, "mp3", BITRATE_KBPS)
                  if args.as_path in ("", "/later") else tone)
    sc.serve(args, FaultHandler, tone=tone, later_tone=later_tone, lock=threading.Lock(),
             first_seen={})


if __name__ == "__main__":
    main()
