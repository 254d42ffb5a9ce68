#!/usr/bin/python3
"""A hostile station's server for the end-to-end tests: it tries to lead the player to servers on
the listener's own machine or network through the opens the player makes on a stream's behalf
(HLS playlists' segments, MMS over HTTP), and with a certificate no one trusts.

  --redirect PATH=URL   PATH answers 302 to URL (again for more paths)
  --hls NAME=URL        /NAME.m3u8 is a live HLS playlist whose every segment is URL (a new
                        sequence number each target duration, so that reloads find new ones)
  --tls CERT:KEY        speak HTTPS with this (self-signed) certificate
Every other path answers 404. Every request is logged.

Run with --servers DIR first (the folder that holds streamcommon.py).
Example: bait_server.py --servers tools --host 192.0.2.10 --port 8090 \
             --hls loopback=http://192.0.2.10:8090/to-loopback.ts \
             --redirect /to-loopback.ts=http://127.0.0.1:4000/a.ts
"""

import argparse
import ssl
import sys
import time

TARGET_SECONDS = 2


def pairs(items, what):
    out = {}
    for item in items:
        key, _, value = item.partition("=")
        if not key or not value:
            sys.exit("%s wants KEY=VALUE, got %r" % (what, item))
        out[key] = value
    return out


def main():
    pre = argparse.ArgumentParser(add_help=False)
    pre.add_argument("--servers", required=True)
    pre.add_argument("--redirect", action="append", default=[], metavar="PATH=URL")
    pre.add_argument("--hls", action="append", default=[], metavar="NAME=URL")
    pre.add_argument("--tls", default=None, metavar="CERT:KEY")
    own, rest = pre.parse_known_args()
    sys.path.insert(0, own.servers)
    import streamcommon as sc  # noqa: E402  (found through --servers)

    redirects = pairs(own.redirect, "--redirect")
    playlists = {"/%s.m3u8" % name: url for name, url in pairs(own.hls, "--hls").items()}
    began = time.monotonic()

    class BaitHandler(sc.Handler):
        def respond(self, request):
            sc.log("%s %s" % (request.method, request.target))
            if request.path in redirects:
                self.send(sc.http_response("302 Found", None, b"",
                                           ["Location: %s" % redirects[request.path]]))
            elif request.path in playlists:
                first = int((time.monotonic() - began) / TARGET_SECONDS)
                lines = ["#EXTM3U", "#EXT-X-TARGETDURATION:%d" % TARGET_SECONDS,
                         "#EXT-X-MEDIA-SEQUENCE:%d" % first]
                for _ in range(3):
                    lines += ["#EXTINF:%d.0," % TARGET_SECONDS, playlists[request.path]]
                self.send(sc.http_response("200 OK", "application/vnd.apple.mpegurl",
                                           ("\n".join(lines) + "\n").encode()))
            else:
                self.send(sc.http_response("404 Not Found", "text/plain", b"no\n"))

    if own.tls:
        cert, _, key = own.tls.partition(":")
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)

        class TlsBaitHandler(BaitHandler):
            def setup(self):
                try:
                    self.request = context.wrap_socket(self.request, server_side=True)
                except (ssl.SSLError, OSError) as error:
                    sc.log("TLS refused by the client: %s" % error)
                    self.request = None

            def handle(self):
                if self.request is not None:
                    super().handle()
        handler = TlsBaitHandler
    else:
        handler = BaitHandler

    parser = sc.base_arguments(__doc__.split("\n")[0])
    args = parser.parse_args(rest)
    sc.serve(args, handler)


if __name__ == "__main__":
    main()
