#!/usr/bin/python3
"""serve.py DIR [PORT]: serves the built page in DIR on 127.0.0.1 only, at
PORT or else a free port, and says where in one line. Ends on Ctrl-C or
SIGTERM."""
import functools
import http.server
import signal
import sys


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map,
                      ".wasm": "application/wasm", ".js": "text/javascript", ".mid": "audio/midi"}

    def log_message(self, *args):
        pass  # quiet: the one line below is all the output

    def end_headers(self):
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


def main():
    folder, port = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 0
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), functools.partial(Handler, directory=folder))
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
