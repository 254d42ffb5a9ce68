#!/usr/bin/python3
"""The playlist server of tools/playlist_server.py with one addition for the end-to-end tests:
--generated-tone FILE=HZ gives each recording named by the generated-playlist script
(/generateasx.esi?file=...) its own tone, so that the three programmes on one host can be told
apart by ear. Everything else (arguments, paths, checks of the query) is the playlist server's.
--local-playlist URL (again for more entries) makes every .m3u path answer a playlist naming
those addresses instead, and --local-redirect URL makes /moved-local redirect to URL (a hostile
station pointing its listeners at a local file, or at servers on their own machine).

Run with --servers DIR first (the folder that holds playlist_server.py and streamcommon.py).
Example: endpoint_server.py --servers tools --host 198.18.0.9 --port 80 \
             --generated-tone bengali/tx/nb/bengali_1330.wma=1200
"""

import argparse
import re
import sys


def main():
    pre = argparse.ArgumentParser(add_help=False)
    pre.add_argument("--servers", required=True)
    pre.add_argument("--generated-tone", action="append", default=[], metavar="FILE=HZ")
    pre.add_argument("--local-playlist", action="append", default=[], metavar="URL")
    pre.add_argument("--local-redirect", default=None, metavar="URL")
    own, rest = pre.parse_known_args()
    sys.path.insert(0, own.servers)
    import playlist_server as ps  # noqa: E402  (found through --servers)
    import streamcommon as sc  # noqa: E402

    file_tones = {}
    for item in own.generated_tone:
        name, _, hz = item.partition("=")
        if not name or not hz:
            sc.die("--generated-tone wants FILE=HZ, got %r" % item)
        file_tones[name] = sc.parse_frequency(hz)

    base_handler = ps.PlaylistHandler

    class EndpointHandler(base_handler):
        def respond(self, request):
            if own.local_playlist and request.path.endswith(".m3u"):
                sc.log("%s %s" % (request.method, request.target))
                self.reply("audio/x-mpegurl",
                           "#EXTM3U\r\n" + "".join(u + "\r\n" for u in own.local_playlist))
                return None
            if own.local_redirect and request.path == "/moved-local":
                sc.log("%s %s" % (request.method, request.target))
                self.redirect(own.local_redirect)
                return None
            if request.path != "/generateasx.esi" or not file_tones:
                return base_handler.respond(self, request)
            params = dict(p.split("=", 1) if "=" in p else (p, "")
                          for p in request.query.split("&") if p)
            sc.log("%s %s" % (request.method, request.target))
            frequency = file_tones.get(params.get("file", ""))
            uid = params.get("BBC-UID", "")
            if frequency is None or not re.fullmatch(r"[0-9a-f]{64}", uid) \
                    or "SSO2-UID" not in params:
                self.reply("text/html", "<html><body>bad request</body></html>",
                           "400 Bad Request")
                return None
            url = "%s/tone/%g.mp3" % (self.server.base, frequency)
            self.reply("video/x-ms-asf", ps.well_formed_asx(url, "Programme"))
            return None

    class EagerToneCache(ps.ToneCache):
        # The recordings' tones are made at start-up like every other tone of the server, not at
        # their first request: making one takes longer than a tune, and would be counted in it.
        def __init__(self, workdir):
            super().__init__(workdir)
            sc.make_tones(workdir, set(file_tones.values()), 8, ps.BITRATE_KBPS)

    ps.PlaylistHandler = EndpointHandler
    ps.ToneCache = EagerToneCache
    sys.argv = [sys.argv[0]] + rest
    ps.main()


if __name__ == "__main__":
    main()
