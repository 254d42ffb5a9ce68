#!/usr/bin/python3
"""An HTTP server for playlists and plain streams.

Streams (MP3 sine tones, paced at 128 kbit/s, endless):
  /tone/<hz>[.mp3]            a tone of that frequency (any query is ignored)
  /RadioAdda                  a stream at a path without extension (--stream PATH=HZ adds more)
  /redirect-stream            302 to the tone of the "redirect-stream" key

Playlists; each points at /tone/<hz>.mp3 of its own key (set with --tone KEY=HZ), so a listener
can tell which entry played:
  key asx          /pioneerfm.asx, /rj/asx/en/bengali.asx,
                   /bengali/meta/tx/nb/beng_parikrama_au_nb.asx   well-formed ASX
  key sloppy       /sloppy.asx         BOM, XML declaration, comments (one hiding a decoy ref),
                                       mixed tag case, unescaped &, unclosed REF
  key entryref     /entryref.asx       ENTRYREF to /entryref-target.asx, which names the tone
  key deadfirst    /deadfirst.asx      first REF is dead (--dead-url), the second plays
  key script       /link/stream/index.php?station=northstar   ASX from a script (other
                                       station values: 404)
  key tunein       /cast/tunein.php/<account>/playlist.asx
  key generated    /generateasx.esi?file=<path>.wma&BBC-UID=<64 hex>&SSO2-UID=
  key m3u          /sound.m3u
  key pls          /list.pls
  key wrongtype    /wrongtype.asx (ASX sent as text/html), /wrongtype.m3u (as
                   application/octet-stream)
  key redirect     /redirect.asx       302 to /redirect-target.asx
                   /self.asx           an ASX whose only entry is itself (must fail, not loop)
                   /empty.asx          an ASX without entries

The decoy tone (--tone decoy=HZ) is the one a careless reader would play.
Example: playlist_server.py --port 8080 --tone asx=523 --stream /RadioAdda=700
"""

import re
import threading

import streamcommon as sc

BITRATE_KBPS = 128

DEFAULT_TONES = {
    "asx": 500, "sloppy": 560, "entryref": 620, "deadfirst": 680, "script": 740,
    "tunein": 800, "generated": 860, "m3u": 920, "pls": 980, "wrongtype": 1040,
    "redirect": 1100, "redirect-stream": 1160, "decoy": 1500,
}

ASX_PATHS = ("/pioneerfm.asx", "/rj/asx/en/bengali.asx",
             "/bengali/meta/tx/nb/beng_parikrama_au_nb.asx")


def xml_escape(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace(
        '"', "&quot;")


def well_formed_asx(url, title="Test Radio"):
    return ('<asx version="3.0">\r\n'
            '  <title>%s</title>\r\n'
            '  <entry>\r\n'
            '    <title>%s</title>\r\n'
            '    <ref href="%s" />\r\n'
            '  </entry>\r\n'
            '</asx>\r\n') % (xml_escape(title), xml_escape(title), xml_escape(url))


def sloppy_asx(url, decoy):
    # Everything a hand-written or script-made ASX tends to get wrong, in one file.
    return ('\ufeff<?xml version="1.0" encoding="UTF-8"?>\r\n'
            '<!-- made by hand & never checked <ref href="%s"/> -->\r\n'
            '<ASX Version = "3.0">\r\n'
            '<Title>Rock & Roll Radio</Title>\r\n'
            '<PARAM NAME="Prebuffer" VALUE="true">\r\n'
            '<!--\r\n<Entry><Ref href="%s"/></Entry>\r\n-->\r\n'
            '<Entry>\r\n'
            '  <TITLE>Songs & Talk</TITLE>\r\n'
            '  <Ref HREF = "%s?station=1&format=mp3">\r\n'
            '</entry>\r\n'
            '</Asx>\r\n') % (decoy, decoy, url)


class PlaylistHandler(sc.Handler):
    def tone_url(self, key):
        return "%s/tone/%g.mp3" % (self.server.base, self.server.tones[key])

    def reply(self, content_type, text, status="200 OK", extra=()):
        body = text.encode("utf-8") if isinstance(text, str) else text
        self.send(sc.http_response(status, content_type, body, extra))

    def not_found(self):
        self.reply("text/html", "<html><body><h1>404 Not Found</h1></body></html>",
                   "404 Not Found")

    def redirect(self, location):
        self.send(sc.http_response("302 Found", "text/html", b"", ["Location: %s" % location]))

    def stream(self, frequency):
        tone = self.server.tone(frequency)
        byte_rate = BITRATE_KBPS * 1000 // 8
        head = sc.http_response("200 OK", "audio/mpeg", None,
                                ["icy-br: %d" % BITRATE_KBPS, "Cache-Control: no-cache"])
        if self.send(head):
            sc.stream_audio(self.request, sc.LoopedAudio(tone), byte_rate)

    def respond(self, request):
        path, query = request.path, request.query
        params = dict(p.split("=", 1) if "=" in p else (p, "") for p in query.split("&") if p)
        tones = self.server.tones
        sc.log("%s %s" % (request.method, request.target))
        asx_type = "video/x-ms-asf"

        match = re.fullmatch(r"/tone/([0-9.]+?)(\.mp3)?", path)
        if match:
            try:
                frequency = sc.parse_frequency(match.group(1))
            except (ValueError, Exception):
                self.not_found()
                return
            self.stream(frequency)
        elif path in self.server.streams:
            self.stream(self.server.streams[path])
        elif path == "/redirect-stream":
            self.redirect(self.tone_url("redirect-stream"))
        elif path in ASX_PATHS:
            self.reply(asx_type, well_formed_asx(self.tone_url("asx")))
        elif path == "/sloppy.asx":
            self.reply("video/x-ms-asf", sloppy_asx(self.tone_url("sloppy"),
                                                    self.tone_url("decoy")))
        elif path == "/entryref.asx":
            self.reply(asx_type, '<ASX VERSION="3.0">\n<ENTRYREF HREF="%s/entryref-target.asx"/>'
                       '\n</ASX>\n' % self.server.base)
        elif path == "/entryref-target.asx":
            self.reply(asx_type, well_formed_asx(self.tone_url("entryref")))
        elif path == "/deadfirst.asx":
            self.reply(asx_type, '<asx version="3.0">\n'
                       '<entry><ref href="%s"/></entry>\n'
                       '<entry><ref href="%s"/></entry>\n</asx>\n'
                       % (xml_escape(self.server.dead_url), xml_escape(self.tone_url("deadfirst"))))
        elif path == "/link/stream/index.php":
            if params.get("station") == "northstar":
                self.reply(asx_type, well_formed_asx(self.tone_url("script"), "Northstar"))
            else:
                self.not_found()
        elif re.fullmatch(r"/cast/tunein\.php/[^/]+/playlist\.asx", path):
            self.reply(asx_type, well_formed_asx(self.tone_url("tunein")))
        elif path == "/generateasx.esi":
            uid = params.get("BBC-UID", "")
            if (params.get("file", "").endswith(".wma") and re.fullmatch(r"[0-9a-f]{64}", uid)
                    and "SSO2-UID" in params):
                self.reply(asx_type, well_formed_asx(self.tone_url("generated"), "Programme"))
            else:
                self.reply("text/html", "<html><body>bad request</body></html>",
                           "400 Bad Request")
        elif path == "/sound.m3u":
            self.reply("audio/x-mpegurl", "#EXTM3U\r\n#EXTINF:-1,Test Radio\r\n%s\r\n"
                       % self.tone_url("m3u"))
        elif path == "/list.pls":
            self.reply("audio/x-scpls", "[playlist]\nNumberOfEntries=1\nFile1=%s\n"
                       "Title1=Test Radio\nLength1=-1\nVersion=2\n" % self.tone_url("pls"))
        elif path == "/wrongtype.asx":
            self.reply("text/html", well_formed_asx(self.tone_url("wrongtype")))
        elif path == "/wrongtype.m3u":
            self.reply("application/octet-stream", "%s\n" % self.tone_url("wrongtype"))
        elif path == "/redirect.asx":
            self.redirect("%s/redirect-target.asx" % self.server.base)
        elif path == "/redirect-target.asx":
            self.reply(asx_type, well_formed_asx(self.tone_url("redirect")))
        elif path == "/self.asx":
            self.reply(asx_type, well_formed_asx("%s/self.asx" % self.server.base))
        elif path == "/empty.asx":
            self.reply(asx_type, '<asx version="3.0"><title>Nothing</title></asx>')
        else:
            self.not_found()


class ToneCache:
    def __init__(self, workdir):
        self.workdir = workdir
        self.lock = threading.Lock()
        self.tones = {}

    def __call__(self, frequency):
        with self.lock:
            if frequency not in self.tones:
                self.tones[frequency] = sc.make_tone(self.workdir, frequency, 8, "mp3",
                                                     BITRATE_KBPS)
            return self.tones[frequency]


def key_value(text):
    if "=" not in text:
        raise ValueError(text)
    key, value = text.split("=", 1)
    return key, sc.parse_frequency(value)


def main():
    parser = sc.base_arguments("HTTP server for playlists and plain streams")
    parser.add_argument("--tone", type=key_value, action="append", default=[],
                        metavar="KEY=HZ", help="tone of a playlist kind (see the list above)")
    parser.add_argument("--stream", type=key_value, action="append", default=[],
                        metavar="PATH=HZ", help="another plain stream path (default /RadioAdda=700)")
    parser.add_argument("--base", default=None,
                        help="address the playlists point at (default http://HOST:PORT)")
    parser.add_argument("--dead-url", default=None,
                        help="the dead first entry of /deadfirst.asx (default: port 1 on HOST)")
    args = parser.parse_args()
    tones = dict(DEFAULT_TONES)
    for key, value in args.tone:
        if key not in tones:
            sc.die("unknown tone key %s (known: %s)" % (key, ", ".join(sorted(tones))))
        tones[key] = value
    streams = dict(args.stream) or {"/RadioAdda": 700.0}
    workdir = sc.WorkDir("playlists-")
    sc.install_termination(workdir.remove)
    cache = ToneCache(workdir)
    # Encode every tone up front.
    sc.make_tones(workdir, set(tones.values()) | set(streams.values()), 8, BITRATE_KBPS)

    sc.die_with_parent()
    try:
        server = sc.Server(args.host, args.port, PlaylistHandler)
    except OSError as error:
        sc.die("cannot listen on %s port %d: %s" % (args.host, args.port, error))
    port = server.server_address[1]
    host_in_url = "[%s]" % args.host if ":" in args.host else args.host
    server.args = args
    server.base = args.base or "http://%s:%d" % (host_in_url, port)
    server.dead_url = args.dead_url or "http://%s:1/dead.mp3" % host_in_url
    server.tones = tones
    server.streams = streams
    server.tone = cache
    sc.announce(args.host, port)
    server.serve_forever(poll_interval=0.2)


if __name__ == "__main__":
    main()
