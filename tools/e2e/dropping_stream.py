#!/usr/bin/python3
"""A stream server that breaks every --drop-every seconds, as a flaky station does: an HTTP 200
MP3 sine tone, paced; at every multiple of --drop-every seconds since the server started, every
open connection is cut. A new connection streams again until the next break. Used by the soak
run.

Example: dropping_stream.py --servers tools --port 8000 --freq 700 --drop-every 150
"""

import argparse
import sys
import time

BITRATE_KBPS = 128


def main():
    pre = argparse.ArgumentParser(add_help=False)
    pre.add_argument("--servers", required=True)
    own, rest = pre.parse_known_args()
    sys.path.insert(0, own.servers)
    import streamcommon as sc  # noqa: E402

    parser = sc.base_arguments("stream that breaks every few minutes")
    parser.add_argument("--freq", type=sc.parse_frequency, default=700.0)
    parser.add_argument("--drop-every", type=float, default=150.0,
                        help="seconds between two breaks of the stream")
    args = parser.parse_args(rest)
    workdir = sc.WorkDir("dropping-")
    sc.install_termination(workdir.remove)
    tone = sc.make_tone(workdir, args.freq, 8, "mp3", BITRATE_KBPS)
    byte_rate = BITRATE_KBPS * 1000 // 8
    started = time.monotonic()

    class DroppingHandler(sc.Handler):
        def respond(self, request):
            sc.log("%s %s" % (request.method, request.target))
            head = sc.http_response("200 OK", "audio/mpeg", None, ["icy-br: %d" % BITRATE_KBPS])
            if self.send(head):
                left = args.drop_every - (time.monotonic() - started) % args.drop_every
                # The pacer sends a short burst ahead of time; the cut comes on schedule.
                sc.stream_audio(self.request, sc.LoopedAudio(tone), byte_rate,
                                seconds=max(0.5, left), burst_seconds=0.0)
                sc.log("connection cut")

    sc.serve(args, DroppingHandler)


if __name__ == "__main__":
    main()
