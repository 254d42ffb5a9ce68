#!/usr/bin/python3
"""A stream server whose every connection breaks after --drop-after seconds of audio, as a
flaky station does: an HTTP 200 MP3 sine tone, paced, then the connection is cut. The next
connection streams again (and breaks again). Used by the soak run.

Example: dropping_stream.py --servers tools --port 8000 --freq 700 --drop-after 150
"""

import argparse
import sys

BITRATE_KBPS = 128


def main():
    pre = argparse.ArgumentParser(add_help=False)
    pre.add_argument("--servers", required=True)
    own, rest = pre.parse_known_args()
    sys.path.insert(0, own.servers)
    import streamcommon as sc  # noqa: E402

    parser = sc.base_arguments("stream that breaks every few minutes")
    parser.add_argument("--freq", type=sc.parse_frequency, default=700.0)
    parser.add_argument("--drop-after", type=float, default=150.0,
                        help="seconds of audio each connection gets before it is cut")
    args = parser.parse_args(rest)
    workdir = sc.WorkDir("dropping-")
    sc.install_termination(workdir.remove)
    tone = sc.make_tone(workdir, args.freq, 8, "mp3", BITRATE_KBPS)
    byte_rate = BITRATE_KBPS * 1000 // 8

    class DroppingHandler(sc.Handler):
        def respond(self, request):
            sc.log("%s %s" % (request.method, request.target))
            head = sc.http_response("200 OK", "audio/mpeg", None, ["icy-br: %d" % BITRATE_KBPS])
            if self.send(head):
                sc.stream_audio(self.request, sc.LoopedAudio(tone), byte_rate,
                                seconds=args.drop_after, burst_seconds=0.5)
                sc.log("connection cut")

    sc.serve(args, DroppingHandler)


if __name__ == "__main__":
    main()
