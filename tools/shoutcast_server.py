#!/usr/bin/python3
"""A SHOUTcast-style stream server: answers a request for the root address (any path, in fact)
with an "ICY 200 OK" status line and an endless MP3 sine tone paced at its bitrate. A client that
sends "Icy-MetaData: 1" gets ICY metadata blocks every icy-metaint bytes carrying the current
title, written in the chosen form:

  utf8      the title's UTF-8 bytes
  latin1    the title's Latin-1 bytes (not valid UTF-8; for Latin titles such as "Cafe Muller"
            with accents)
  mojibake  the UTF-8 bytes read as Latin-1 and written out again as UTF-8 (double encoded)
  entities  every non-ASCII character as an HTML numeric entity (&#2438;)

Example: shoutcast_server.py --port 8000 --freq 440 --title 'আমার সোনার বাংলা' --encoding utf8
"""

import streamcommon as sc

BITRATE_KBPS = 128


def encode_title(title, encoding):
    if encoding == "utf8":
        return title.encode("utf-8")
    if encoding == "latin1":
        return title.encode("latin-1")
    if encoding == "mojibake":
        return title.encode("utf-8").decode("latin-1").encode("utf-8")
    if encoding == "entities":
        return "".join(c if ord(c) < 128 else "&#%d;" % ord(c) for c in title).encode("ascii")
    raise ValueError(encoding)


def metadata_block(title_bytes):
    text = b"StreamTitle='" + title_bytes + b"';StreamUrl='';"
    if len(text) > 255 * 16:
        text = text[:255 * 16]
    blocks = (len(text) + 15) // 16
    return bytes([blocks]) + text + b"\0" * (blocks * 16 - len(text))


class MetadataInserter:
    """Puts a metadata block after every `metaint` bytes of audio. The title goes out in the
    first block and again every `repeat` blocks; the others are empty (one zero byte)."""

    def __init__(self, metaint, titles, encoding, title_seconds, byte_rate):
        self.metaint = metaint
        self.until_meta = metaint
        self.titles = [encode_title(t, encoding) for t in titles] or [b""]
        self.blocks_per_title = max(1, int(title_seconds * byte_rate / metaint))
        self.block_index = 0

    def __call__(self, audio):
        out = bytearray()
        while audio:
            piece = audio[:self.until_meta]
            out += piece
            audio = audio[len(piece):]
            self.until_meta -= len(piece)
            if self.until_meta == 0:
                out += self.next_block()
                self.until_meta = self.metaint
        return bytes(out)

    def next_block(self):
        index = self.block_index
        self.block_index += 1
        title_number = index // self.blocks_per_title
        if index % self.blocks_per_title == 0 or index % 8 == 0:
            return metadata_block(self.titles[title_number % len(self.titles)])
        return b"\0"


class ShoutcastHandler(sc.Handler):
    def respond(self, request):
        args = self.server.args
        if request.method not in ("GET", "HEAD"):
            self.send(sc.http_response("405 Method Not Allowed", "text/plain", b"GET only\n"))
            return
        want_meta = request.header("icy-metadata") == "1"
        byte_rate = BITRATE_KBPS * 1000 // 8
        lines = ["ICY 200 OK",
                 "icy-notice1:<BR>This stream requires an audio player<BR>",
                 "icy-name:%s" % args.name,
                 "icy-genre:Bangla",
                 "icy-url:http://%s:%d" % (args.host, self.server.server_address[1]),
                 "content-type:audio/mpeg",
                 "icy-pub:0",
                 "icy-br:%d" % BITRATE_KBPS]
        if want_meta:
            lines.append("icy-metaint:%d" % args.metaint)
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("utf-8")
        if not self.send(head) or request.method == "HEAD":
            return
        sc.log("client %s, metadata %s" % (self.client_address[0], want_meta))
        audio = sc.LoopedAudio(self.server.tone)
        inserter = None
        if want_meta:
            inserter = MetadataInserter(args.metaint, args.title, args.encoding,
                                        args.title_seconds, byte_rate)
        sc.stream_audio(self.request, audio, byte_rate, transform=inserter)


def main():
    parser = sc.base_arguments(__doc__.split("\n")[0])
    parser.add_argument("--freq", type=sc.parse_frequency, default=440.0, help="tone in Hz")
    parser.add_argument("--title", action="append", default=[],
                        help="stream title; repeat to rotate through several")
    parser.add_argument("--encoding", choices=["utf8", "latin1", "mojibake", "entities"],
                        default="utf8", help="how titles are written into the metadata")
    parser.add_argument("--title-seconds", type=float, default=10.0,
                        help="seconds each title stays before the next one")
    parser.add_argument("--metaint", type=int, default=8192, help="audio bytes between metadata")
    parser.add_argument("--name", default="Test Radio", help="icy-name")
    args = parser.parse_args()
    if not args.title:
        args.title = ["আমার সোনার বাংলা"]
    if not 16 <= args.metaint <= 65536:
        sc.die("--metaint must lie in 16..65536")
    for title in args.title:
        try:
            encode_title(title, args.encoding)
        except UnicodeEncodeError:
            sc.die("title %r cannot be written as %s" % (title, args.encoding))
    workdir = sc.WorkDir("shoutcast-")
    sc.install_termination(workdir.remove)
    tone = sc.make_tone(workdir, args.freq, 8, "mp3", BITRATE_KBPS)
    sc.serve(args, ShoutcastHandler, tone=tone)


if __name__ == "__main__":
    main()
