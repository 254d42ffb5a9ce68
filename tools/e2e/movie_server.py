#!/usr/bin/python3
"""Serves one SWF file at the paths given with --path (any number), as a web host of movies
would: 200 with application/x-shockwave-flash, 404 for anything else. The file is read once at
start-up (at most 16 MiB).

Example: movie_server.py --servers tools --port 8080 --swf test.swf \
             --path "/200000230-d0997d1931/New%20Title.swf"
"""

import argparse
import sys

MAX_MOVIE_BYTES = 16 * 1024 * 1024


def main():
    pre = argparse.ArgumentParser(add_help=False)
    pre.add_argument("--servers", required=True)
    own, rest = pre.parse_known_args()
    sys.path.insert(0, own.servers)
    import streamcommon as sc  # noqa: E402

    parser = sc.base_arguments("serves one SWF file at fixed paths")
    parser.add_argument("--swf", required=True, help="the movie file")
    parser.add_argument("--path", action="append", required=True, help="a path to serve it at")
    args = parser.parse_args(rest)
    with open(args.swf, "rb") as f:
        movie = f.read(MAX_MOVIE_BYTES + 1)
    if len(movie) > MAX_MOVIE_BYTES:
        sc.die("%s is larger than %d bytes" % (args.swf, MAX_MOVIE_BYTES))

    class MovieHandler(sc.Handler):
        def respond(self, request):
            sc.log("%s %s" % (request.method, request.target))
            if request.method not in ("GET", "HEAD"):
                self.send(sc.http_response("405 Method Not Allowed", "text/plain", b"GET only\n"))
            elif request.path in args.path:
                body = b"" if request.method == "HEAD" else movie
                self.send(sc.http_response("200 OK", "application/x-shockwave-flash", body))
            else:
                self.send(sc.http_response("404 Not Found", "text/html",
                                           b"<html><body>404</body></html>"))

    sc.install_termination()
    sc.serve(args, MovieHandler)


if __name__ == "__main__":
    main()
