#!/usr/bin/python3
"""An MMS-over-HTTP (MMSH) responder serving a WMAv2 sine tone, the way a Windows Media server
answers an MMS client that falls back to HTTP (mms://host/path is tried as http://host:80/path).

The exchange a client such as ffmpeg's mmsh protocol makes:
  1. a GET without "Pragma: xPlayStrm=1": the reply is the ASF header in one $H chunk, then the
     connection closes;
  2. a GET with "Pragma: xPlayStrm=1": the reply is the $H chunk again and then the $D data
     chunks, paced at the stream's bitrate, for as long as the client stays.
Every chunk is: type (2 bytes: $H 0x4824, $D 0x4424), length of what follows the first 4 bytes
(2 bytes), sequence number (4 bytes), 2 flag bytes, the length again (2 bytes), then the payload.
ffmpeg's asf_stream muxer writes exactly this framing; the server renumbers the chunks as it
loops the recording.

Any path is served (the catalogue uses /radiobanglanet137774).
Example: mmsh_server.py --port 8080 --freq 900
"""

import struct

import streamcommon as sc

BITRATE_KBPS = 64
SECONDS = 120  # long enough that a test never hears the loop's timestamp jump
HEADER_CHUNK = 0x4824
DATA_CHUNK = 0x4424


def split_chunks(data):
    """Returns (header chunk, [data chunks]) of an asf_stream recording."""
    header, chunks, offset = None, [], 0
    while offset + 4 <= len(data):
        kind, length = struct.unpack_from("<HH", data, offset)
        end = offset + 4 + length
        if end > len(data):
            break
        chunk = data[offset:end]
        if kind == HEADER_CHUNK and header is None:
            header = chunk
        elif kind == DATA_CHUNK:
            chunks.append(chunk)
        offset = end
    if header is None or not chunks:
        sc.die("the recording has no ASF header or no data chunks")
    return header, chunks


def renumbered(chunk, sequence):
    return chunk[:4] + struct.pack("<I", sequence & 0xFFFFFFFF) + chunk[8:]


class MmshHandler(sc.Handler):
    def respond(self, request):
        server = self.server
        if request.method != "GET":
            self.send(sc.http_response("405 Method Not Allowed", "text/plain", b"GET only\n"))
            return
        pragmas = ",".join(request.all_headers("pragma"))
        play = "xPlayStrm=1" in pragmas.replace(" ", "")
        sc.log("%s %s play=%s agent=%s" % (request.method, request.target, play,
                                          request.header("user-agent")))
        common = ["Server: Cougar/9.01.01.3814", "Cache-Control: no-cache", "Pragma: no-cache",
                  "Pragma: client-id=%d" % server.next_client(), 'Pragma: features="broadcast"']
        if not play:
            head = sc.http_response("200 OK", "application/vnd.ms.wms-hdr.asfv1", None, common)
            self.send(head + server.header_chunk)
            return
        head = sc.http_response("200 OK", "application/x-mms-framed", None, common)
        if not self.send(head + server.header_chunk):
            return
        pacer = sc.Pacer(server.byte_rate, int(server.byte_rate * 2))
        sequence = 0
        while True:
            for chunk in server.data_chunks:
                pacer.wait_for(len(chunk))
                if not self.send(renumbered(chunk, sequence)):
                    return
                sequence += 1


def main():
    parser = sc.base_arguments("MMS-over-HTTP responder")
    parser.add_argument("--freq", type=sc.parse_frequency, default=900.0, help="tone in Hz")
    args = parser.parse_args()
    workdir = sc.WorkDir("mmsh-")
    sc.install_termination(workdir.remove)
    recording = sc.make_tone(workdir, args.freq, SECONDS, "wma", BITRATE_KBPS)
    header, chunks = split_chunks(recording)
    byte_rate = sum(len(c) for c in chunks) / float(SECONDS)
    sc.serve(args, MmshHandler, header_chunk=header, data_chunks=chunks, byte_rate=byte_rate,
             next_client=sc.counter())


if __name__ == "__main__":
    main()
