#!/usr/bin/python3
"""Runs a real Icecast2 server with a private configuration in a temporary directory, fed by
ffmpeg with sine tones: by default an MP3 mount and an Ogg Vorbis mount.

Icecast is an ordinary child process. Run as root it must drop to another user, so the generated
configuration then names nobody/nogroup in <changeowner> and the directory is opened up for it.
READY is printed once every mount is live (answers 200 with audio). SIGTERM stops ffmpeg and
icecast and removes the directory.

Example: icecast_server.py --port 8000 --mount /tone.mp3=mp3:440 --mount /tone.ogg=ogg:660
"""

import os
import secrets
import socket
import subprocess
import time
import urllib.error
import urllib.request

import streamcommon as sc

CONFIG = """<icecast>
  <location>loopback</location>
  <admin>test@localhost</admin>
  <limits>
    <clients>100</clients>
    <sources>{sources}</sources>
    <queue-size>524288</queue-size>
    <client-timeout>30</client-timeout>
    <header-timeout>15</header-timeout>
    <source-timeout>10</source-timeout>
    <burst-on-connect>1</burst-on-connect>
    <burst-size>65535</burst-size>
  </limits>
  <authentication>
    <source-password>{password}</source-password>
    <relay-password>{password}</relay-password>
    <admin-user>admin</admin-user>
    <admin-password>{password}</admin-password>
  </authentication>
  <hostname>{host}</hostname>
  <listen-socket>
    <port>{port}</port>
    <bind-address>{host}</bind-address>
  </listen-socket>
  <fileserve>1</fileserve>
  <paths>
    <basedir>{dir}</basedir>
    <logdir>{dir}/log</logdir>
    <webroot>/usr/share/icecast2/web</webroot>
    <adminroot>/usr/share/icecast2/admin</adminroot>
    <pidfile>{dir}/icecast.pid</pidfile>
  </paths>
  <logging>
    <accesslog>access.log</accesslog>
    <errorlog>error.log</errorlog>
    <loglevel>3</loglevel>
    <logsize>10000</logsize>
  </logging>
  <security>
    <chroot>0</chroot>
    {changeowner}
  </security>
</icecast>
"""

CHANGEOWNER = "<changeowner><user>nobody</user><group>nogroup</group></changeowner>"


def free_port(host):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as sock:
        sock.bind((host, 0))
        return sock.getsockname()[1]


def mount_spec(text):
    # /name=codec:hz
    try:
        mount, rest = text.split("=", 1)
        codec, hz = rest.split(":", 1)
    except ValueError:
        raise ValueError("mount must look like /tone.mp3=mp3:440")
    if not mount.startswith("/") or codec not in ("mp3", "ogg"):
        raise ValueError("mount must look like /tone.mp3=mp3:440 or /tone.ogg=ogg:660")
    return mount, codec, sc.parse_frequency(hz)


class Icecast:
    def __init__(self, args):
        self.args = args
        self.workdir = sc.WorkDir("icecast-")
        self.children = []

    def stop(self):
        for child in reversed(self.children):
            if child.poll() is None:
                child.terminate()
        deadline = time.monotonic() + 2
        for child in self.children:
            try:
                child.wait(max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                child.kill()
                child.wait()
        self.workdir.remove()

    def spawn(self, command, log_name):
        log = open(self.workdir.file(log_name), "wb")
        child = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=log,
                                 stderr=subprocess.STDOUT, preexec_fn=sc.die_with_parent)
        self.children.append(child)
        return child

    def start(self):
        args = self.args
        icecast = sc.require_program("icecast2", "icecast2")
        ffmpeg = sc.require_program("ffmpeg", "ffmpeg")
        password = secrets.token_hex(8)
        os.makedirs(self.workdir.file("log"))
        as_root = os.geteuid() == 0
        host_in_url = "[%s]" % args.host if ":" in args.host else args.host
        # A port picked here may be taken by someone else before icecast binds it: try again.
        for attempt in range(1 if args.port else 3):
            port = args.port or free_port(args.host)
            config = CONFIG.format(host=args.host, port=port, password=password,
                                   dir=self.workdir.path, sources=len(args.mount) + 2,
                                   changeowner=CHANGEOWNER if as_root else "")
            with open(self.workdir.file("icecast.xml"), "w") as f:
                f.write(config)
            if as_root:
                # Icecast drops to nobody after reading its configuration and must still write
                # its logs.
                os.chmod(self.workdir.path, 0o755)
                os.chmod(self.workdir.file("log"), 0o777)
                os.chmod(self.workdir.file("icecast.xml"), 0o644)
            server = self.spawn([icecast, "-c", self.workdir.file("icecast.xml")], "icecast.out")
            origin = "http://%s:%d" % (host_in_url, port)
            last = attempt == (0 if args.port else 2)
            if self.wait_until(lambda: self.answers(origin + "/status-json.xsl"), server,
                               "icecast", fatal=last):
                break
            self.children.remove(server)
        for mount, codec, hz in args.mount:
            source = "sine=frequency=%g:sample_rate=44100" % hz
            command = [ffmpeg, "-nostdin", "-hide_banner", "-loglevel", "error", "-re",
                       "-f", "lavfi", "-i", source, "-ac", "2"]
            if codec == "mp3":
                command += ["-c:a", "libmp3lame", "-b:a", "128k", "-content_type", "audio/mpeg",
                            "-f", "mp3"]
            else:
                command += ["-c:a", "libvorbis", "-b:a", "96k", "-content_type", "application/ogg",
                            "-f", "ogg"]
            command += ["-ice_name", "Test %s %g Hz" % (codec, hz),
                        "icecast://source:%s@%s:%d%s" % (password, host_in_url, port, mount)]
            feeder = self.spawn(command, "ffmpeg%s.out" % mount.replace("/", "-"))
            self.wait_until(lambda m=mount: self.answers(origin + m, stream=True), feeder,
                            "ffmpeg for " + mount)
        sc.announce(args.host, port)
        while True:
            for child in self.children:
                if child.poll() is not None:
                    sc.log("a child ended with status %s; stopping" % child.returncode)
                    self.dump_logs()
                    self.stop()
                    os._exit(1)
            time.sleep(0.5)

    def answers(self, url, stream=False):
        try:
            with urllib.request.urlopen(url, timeout=2) as reply:
                if stream:
                    return len(reply.read(1024)) > 0
                return reply.status == 200
        except (urllib.error.URLError, OSError):
            return False

    def wait_until(self, ready, child, what, fatal=True):
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline:
            if child.poll() is not None:
                if not fatal:
                    sc.log("%s ended at start-up with status %s; trying again"
                           % (what, child.returncode))
                    return False
                self.dump_logs()
                self.stop()
                sc.die("%s ended at start-up with status %s" % (what, child.returncode))
            if ready():
                return True
            time.sleep(0.1)
        self.dump_logs()
        self.stop()
        sc.die("%s did not come up within 15 s" % what)

    def dump_logs(self):
        for name in sorted(os.listdir(self.workdir.path)) + ["log/error.log"]:
            path = self.workdir.file(name)
            if os.path.isfile(path) and (name.endswith(".out") or name.endswith(".log")):
                with open(path, "rb") as f:
                    sc.log("%s:\n%s" % (name, f.read()[-2000:].decode(errors="replace")))


def main():
    parser = sc.base_arguments("Icecast2 with tone sources")
    parser.add_argument("--mount", type=mount_spec, action="append", default=[],
                        metavar="/NAME=mp3|ogg:HZ", help="a mount and its tone (repeatable)")
    args = parser.parse_args()
    if not args.mount:
        args.mount = [("/tone.mp3", "mp3", 440.0), ("/tone.ogg", "ogg", 660.0)]
    sc.die_with_parent()
    icecast = Icecast(args)
    sc.install_termination(icecast.stop)
    icecast.start()


if __name__ == "__main__":
    main()
