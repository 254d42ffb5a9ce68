"""Shared pieces of the test stream servers: argument handling, the READY announcement, tone
generation with ffmpeg, a small HTTP request reader and paced sending of looped audio.

Standard library only; run the servers with /usr/bin/python3.
"""

import argparse
import ctypes
import os
import shutil
import signal
import socket
import socketserver
import subprocess
import sys
import tempfile
import threading
import time

# Limits on what a client may send us.
MAX_REQUEST_BYTES = 16 * 1024
REQUEST_TIMEOUT_S = 10.0


def die(message):
    sys.stderr.write("%s: %s\n" % (os.path.basename(sys.argv[0]), message))
    sys.stderr.flush()
    sys.exit(2)


def die_with_parent():
    """Ask the kernel to end this process when the process that started it goes away, so that a
    crashed test leaves no servers behind."""
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        PR_SET_PDEATHSIG = 1
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)
    except OSError:
        pass


def base_arguments(description):
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--host", default="127.0.0.1", help="listen address (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=0,
                        help="listen port; 0 picks a free one (default)")
    return parser


def announce(host, port, **extra):
    """The one line a starter waits for: READY <host> <port> [key=value ...]."""
    parts = ["READY", host, str(port)] + ["%s=%s" % (k, v) for k, v in sorted(extra.items())]
    sys.stdout.write(" ".join(parts) + "\n")
    sys.stdout.flush()


def log(message):
    sys.stderr.write("[%s %.3f] %s\n" % (os.path.basename(sys.argv[0]), time.time(), message))
    sys.stderr.flush()


def install_termination(cleanup=None):
    """SIGTERM and SIGINT end the server cleanly (temporary files removed)."""

    def handler(signum, _frame):
        if cleanup:
            cleanup()
        os._exit(0)

    signal.signal(signal.SIGTERM, handler)
    signal.signal(signal.SIGINT, handler)


def require_program(name, package):
    path = shutil.which(name)
    if not path:
        die("required program '%s' is missing (Debian package %s)" % (name, package))
    return path


class WorkDir:
    """A private temporary directory, removed at exit."""

    def __init__(self, prefix):
        self.path = tempfile.mkdtemp(prefix=prefix)

    def file(self, name):
        return os.path.join(self.path, name)

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def make_tone(workdir, frequency, seconds, codec="mp3", bitrate_kbps=128):
    """Encodes `seconds` of a sine tone with ffmpeg and returns the bytes.

    mp3: bare MPEG frames (no ID3 tag, no Xing frame), so the data can be looped.
    wma: WMAv2 in ASF with streaming chunk framing (ffmpeg's asf_stream muxer).
    """
    ffmpeg = require_program("ffmpeg", "ffmpeg")
    name = workdir.file("tone-%s-%g-%d.%s" % (codec, frequency, seconds, codec))
    if os.path.exists(name):
        with open(name, "rb") as f:
            return f.read()
    source = "sine=frequency=%g:sample_rate=44100:duration=%g" % (frequency, seconds)
    command = [ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
               "-f", "lavfi", "-i", source, "-ac", "2"]
    if codec == "mp3":
        command += ["-c:a", "libmp3lame", "-b:a", "%dk" % bitrate_kbps,
                    "-id3v2_version", "0", "-write_xing", "0", "-f", "mp3", name]
    elif codec == "wma":
        command += ["-c:a", "wmav2", "-b:a", "%dk" % bitrate_kbps, "-f", "asf_stream", name]
    else:
        raise ValueError(codec)
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if result.returncode != 0:
        die("ffmpeg could not make the tone: %s" % result.stderr.decode(errors="replace"))
    with open(name, "rb") as f:
        return f.read()


def make_tones(workdir, frequencies, seconds, bitrate_kbps=128):
    """Encodes MP3 tones of several frequencies with one ffmpeg run (starting ffmpeg costs more
    than encoding a few seconds); make_tone() then finds them made."""
    ffmpeg = require_program("ffmpeg", "ffmpeg")
    wanted = [f for f in sorted(set(frequencies))
              if not os.path.exists(workdir.file("tone-mp3-%g-%d.mp3" % (f, seconds)))]
    if not wanted:
        return
    command = [ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
    for f in wanted:
        command += ["-f", "lavfi", "-i", "sine=frequency=%g:sample_rate=44100:duration=%g"
                    % (f, seconds)]
    for index, f in enumerate(wanted):
        command += ["-map", "%d:a" % index, "-ac", "2", "-c:a", "libmp3lame",
                    "-b:a", "%dk" % bitrate_kbps, "-id3v2_version", "0", "-write_xing", "0",
                    "-f", "mp3", workdir.file("tone-mp3-%g-%d.mp3" % (f, seconds))]
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if result.returncode != 0:
        die("ffmpeg could not make the tones: %s" % result.stderr.decode(errors="replace"))


def parse_frequency(text):
    value = float(text)
    if not 20.0 <= value <= 8000.0:
        raise argparse.ArgumentTypeError("frequency out of range 20..8000 Hz: %s" % text)
    return value


class Request:
    def __init__(self, method, target, version, headers):
        self.method = method
        self.target = target
        self.version = version
        self.headers = headers  # name (lower case) -> list of values

    @property
    def path(self):
        return self.target.split("?", 1)[0]

    @property
    def query(self):
        return self.target.split("?", 1)[1] if "?" in self.target else ""

    def header(self, name, default=""):
        values = self.headers.get(name.lower())
        return values[-1] if values else default

    def all_headers(self, name):
        return self.headers.get(name.lower(), [])


def read_request(sock):
    """Reads one request head, with a size limit and a timeout. Returns None for a client that
    went away or sent garbage."""
    sock.settimeout(REQUEST_TIMEOUT_S)
    data = b""
    try:
        while b"\r\n\r\n" not in data and b"\n\n" not in data:
            chunk = sock.recv(4096)
            if not chunk:
                return None
            data += chunk
            if len(data) > MAX_REQUEST_BYTES:
                return None
    except (socket.timeout, OSError):
        return None
    head = data.replace(b"\r\n", b"\n").split(b"\n\n", 1)[0].decode("latin-1")
    lines = head.split("\n")
    parts = lines[0].split()
    if len(parts) < 2:
        return None
    method, target = parts[0], parts[1]
    version = parts[2] if len(parts) > 2 else "HTTP/1.0"
    headers = {}
    for line in lines[1:]:
        if ":" not in line:
            continue
        name, value = line.split(":", 1)
        headers.setdefault(name.strip().lower(), []).append(value.strip())
    sock.settimeout(None)
    return Request(method, target, version, headers)


def send_all(sock, data):
    try:
        sock.sendall(data)
        return True
    except OSError:
        return False


def http_response(status, content_type=None, body=b"", extra_headers=(), status_line=None):
    lines = [status_line or ("HTTP/1.0 %s" % status)]
    if content_type:
        lines.append("Content-Type: %s" % content_type)
    if body is not None:
        lines.append("Content-Length: %d" % len(body))
    lines.extend(extra_headers)
    lines.append("Connection: close")
    return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + (body or b"")


class LoopedAudio:
    """Hands out consecutive pieces of a looped buffer."""

    def __init__(self, data):
        if not data:
            raise ValueError("empty audio")
        self.data = data
        self.offset = 0

    def take(self, count):
        out = bytearray()
        while len(out) < count:
            piece = self.data[self.offset:self.offset + count - len(out)]
            out += piece
            self.offset = (self.offset + len(piece)) % len(self.data)
        return bytes(out)


class Pacer:
    """Keeps a sender at `byte_rate` after an initial burst of `burst_bytes`."""

    def __init__(self, byte_rate, burst_bytes):
        self.byte_rate = float(byte_rate)
        self.burst = burst_bytes
        self.start = time.monotonic()
        self.sent = 0

    def wait_for(self, count):
        """Sleeps until `count` more bytes may go out."""
        due = self.start + max(0.0, (self.sent + count - self.burst) / self.byte_rate)
        delay = due - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        self.sent += count

    def elapsed(self):
        return time.monotonic() - self.start


def stream_audio(sock, audio, byte_rate, seconds=None, burst_seconds=2.0, transform=None,
                 chunk=2048, until=None):
    """Sends looped audio paced at its byte rate until the client leaves, `seconds` of audio
    went out, or the monotonic clock reaches `until`. `transform` may rewrite each chunk (used
    to insert ICY metadata)."""
    pacer = Pacer(byte_rate, int(byte_rate * burst_seconds))
    total = 0
    limit = None if seconds is None else int(byte_rate * seconds)
    while limit is None or total < limit:
        count = chunk if limit is None else min(chunk, limit - total)
        piece = audio.take(count)
        pacer.wait_for(count)
        if until is not None and time.monotonic() >= until:
            return True
        out = transform(piece) if transform else piece
        if not send_all(sock, out):
            return False
        total += count
    return True


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    def __init__(self, host, port, handler):
        self.address_family = socket.AF_INET6 if ":" in host else socket.AF_INET
        super().__init__((host, port), handler)


def serve(args, handler_class, **extra):
    """Binds, announces READY and serves until terminated."""
    die_with_parent()
    try:
        server = Server(args.host, args.port, handler_class)
    except OSError as error:
        die("cannot listen on %s port %d: %s" % (args.host, args.port, error))
    server.args = args
    for key, value in extra.items():
        setattr(server, key, value)
    announce(args.host, server.server_address[1])
    server.serve_forever(poll_interval=0.2)


class Handler(socketserver.BaseRequestHandler):
    """Reads the request and hands it to respond(request)."""

    def handle(self):
        request = read_request(self.request)
        if request is None:
            return
        try:
            self.respond(request)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def respond(self, request):
        raise NotImplementedError

    def send(self, data):
        return send_all(self.request, data)


def counter():
    lock = threading.Lock()
    state = {"n": 0}

    def next_value():
        with lock:
            state["n"] += 1
            return state["n"]

    return next_value
