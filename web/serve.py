#!/usr/bin/python3
"""serve.py DIR [PORT] [--log FILE]: serves the built page in DIR (the
build's site/ folder) on 127.0.0.1 only, at PORT or else a free port, and
says where in one line. Only the page's own files are served: the plain
files of DIR itself whose names end in .html, .css, .js or .wasm; never a
folder, a listing or anything above or beside it. Only requests naming a
loopback host are answered, which keeps other sites' pages from reaching it
under a name of theirs. Every answer says what it holds (nosniff) and what
the page may load (a Content-Security-Policy the page meets). --log FILE
writes one line per request there. A busy port or a folder without the page
ends it with one line. Ends on Ctrl-C or SIGTERM."""
import http.server
import os
import re
import signal
import sys
from urllib.parse import urlsplit

TYPES = {".html": "text/html; charset=utf-8", ".css": "text/css; charset=utf-8",
         ".js": "text/javascript; charset=utf-8", ".wasm": "application/wasm"}
PAGE_FILE = re.compile(r"/([A-Za-z0-9_-]+(?:\.[A-Za-z0-9_-]+)*(?:" + "|".join(map(re.escape, TYPES)) + "))")
LOOPBACK = ("127.0.0.1", "localhost", "[::1]")
POLICY = ("default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'self'; connect-src 'self'; "
          "style-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'")


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "veltrace-serve"
    sys_version = ""
    folder = "."
    log = None

    def do_GET(self):
        self.answer(body=True)

    def do_HEAD(self):
        self.answer(body=False)

    def answer(self, body):
        host = self.headers.get("Host", "")
        if host not in {f"{name}:{self.server.server_address[1]}" for name in LOOPBACK}:
            self.send_error(421, "This server answers only for 127.0.0.1, localhost and [::1]")
            return
        path = urlsplit(self.path).path
        match = PAGE_FILE.fullmatch("/index.html" if path == "/" else path)
        file = os.path.join(self.folder, match.group(1)) if match else None
        if not file or not os.path.isfile(file):
            self.send_error(404, "Not one of the page's files")
            return
        with open(file, "rb") as page_file:
            content = page_file.read()
        self.send_response(200)
        self.send_header("Content-Type", TYPES[os.path.splitext(file)[1]])
        self.send_header("Content-Length", str(len(content)))
        self.end_headers()
        if body:
            self.wfile.write(content)

    def end_headers(self):
        self.send_header("X-Content-Type-Options", "nosniff")
        self.send_header("Content-Security-Policy", POLICY)
        self.send_header("Referrer-Policy", "no-referrer")
        self.send_header("Cache-Control", "no-cache")
        super().end_headers()

    def log_message(self, form, *args):
        if self.log:
            self.log.write(f"{form % args}\n")
            self.log.flush()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        error = sys.exc_info()[1]
        print(f"web: a request from {client_address[0]} failed: {error!r}", file=sys.stderr, flush=True)


def main():
    arguments = sys.argv[1:]
    log = None
    if "--log" in arguments:
        at = arguments.index("--log")
        log = open(arguments[at + 1], "a")
        del arguments[at:at + 2]
    if not 1 <= len(arguments) <= 2 or (len(arguments) == 2 and not arguments[1].isdigit()):
        sys.exit("usage: serve.py DIR [PORT] [--log FILE]")
    folder, port = os.path.abspath(arguments[0]), int(arguments[1]) if len(arguments) > 1 else 0
    if not os.path.isfile(os.path.join(folder, "index.html")):
        sys.exit(f"web: no page in {folder} (index.html is missing; build it with WEB_BUILD_ONLY=1 make web)")
    handler = type("PageHandler", (Handler,), {"folder": folder, "log": log})
    try:
        server = Server(("127.0.0.1", port), handler)
    except OSError as error:
        sys.exit(f"web: cannot serve on 127.0.0.1:{port}: {error.strerror or error}")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    print(f"web: serving {folder} at http://127.0.0.1:{server.server_address[1]}/ (Ctrl-C ends it)", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
