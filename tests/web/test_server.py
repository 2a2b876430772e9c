#!/usr/bin/python3
"""test_server.py WEB_DIR WORK_DIR: web/serve.py on its own. It serves a
copy of the built page with files beside it that are not the page's, and is
asked for each of them, under loopback host names and others; a busy port and
a folder without the page each end it with one line."""
import http.client
import os
import shutil
import socket
import subprocess
import sys

from page_session import ROOT, _end_with_parent
from test_page import Checks

SERVE = os.path.join(ROOT, "web", "serve.py")
POLICY = ("default-src 'none'; script-src 'self' 'wasm-unsafe-eval'; worker-src 'self'; connect-src 'self'; "
          "style-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'")
# Files beside the page in the served folder ("site"), and in the folder
# above it as in the build tree: none of them is served.
DECOYS = [("site", "notes.txt"), ("site", ".hidden.js"), ("site", "sub/app.js"), ("site", "large.mid"),
          ("", "CMakeCache.txt"), ("", "build.ninja"), ("", ".ninja_log")]
# (method, path, host, status, content type). HOST is the loopback address
# with the server's port.
REQUESTS = [
    ("GET", "/", "HOST", 200, "text/html; charset=utf-8"),
    ("GET", "/index.html", "HOST", 200, "text/html; charset=utf-8"),
    ("GET", "/veltrace.wasm", "HOST", 200, "application/wasm"),
    ("GET", "/app.js", "HOST", 200, "text/javascript; charset=utf-8"),
    ("GET", "/worker.js?v=1", "HOST", 200, "text/javascript; charset=utf-8"),
    ("HEAD", "/style.css", "HOST", 200, "text/css; charset=utf-8"),
    ("GET", "/index.html", "localhost:PORT", 200, "text/html; charset=utf-8"),
    ("GET", "/index.html", "[::1]:PORT", 200, "text/html; charset=utf-8"),
    ("GET", "/notes.txt", "HOST", 404, None),
    ("GET", "/.hidden.js", "HOST", 404, None),
    ("GET", "/sub/app.js", "HOST", 404, None),
    ("GET", "/sub/", "HOST", 404, None),
    ("GET", "/large.mid", "HOST", 404, None),
    ("GET", "/../CMakeCache.txt", "HOST", 404, None),
    ("GET", "/%2e%2e/CMakeCache.txt", "HOST", 404, None),
    ("GET", "/build.ninja", "HOST", 404, None),
    ("GET", "/.ninja_log", "HOST", 404, None),
    ("GET", "/%00", "HOST", 404, None),
    ("GET", "/index.html%00", "HOST", 404, None),
    ("GET", "/missing.js", "HOST", 404, None),
    ("GET", "/index.html", "evil.example:PORT", 421, None),
    ("GET", "/index.html", "evil.example", 421, None),
    ("GET", "/index.html", "127.0.0.1:OTHER", 421, None),
    ("GET", "/index.html", None, 421, None),
    ("POST", "/index.html", "HOST", 501, None),
]
# Ends that take one line: (what, arguments after DIR, the line's start).
ENDS = [("a busy port", ["BUSY"], "web: cannot serve on 127.0.0.1:BUSY: Address already in use"),
        ("a folder without the page", None, "web: no page in ")]


def ask(port, method, path, host):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.putrequest(method, path, skip_host=True, skip_accept_encoding=True)
    if host is not None:
        connection.putheader("Host", host.replace("HOST", f"127.0.0.1:{port}").replace("OTHER", str(port + 1))
                             .replace("PORT", str(port)))
    connection.endheaders()
    response = connection.getresponse()
    body = response.read()
    connection.close()
    return response, body


def main():
    web, work = os.path.abspath(sys.argv[1]), os.path.join(os.path.abspath(sys.argv[2]), "server")
    shutil.rmtree(work, ignore_errors=True)
    site = os.path.join(work, "site")
    shutil.copytree(web, site)
    for folder, name in DECOYS:
        path = os.path.join(work, folder, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w") as file:
            file.write("not the page's\n")
    checks = Checks()
    server = subprocess.Popen([sys.executable, SERVE, site], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              preexec_fn=_end_with_parent)
    try:
        port = int(server.stdout.readline().split("http://127.0.0.1:")[1].split("/")[0])
        for method, path, host, status, kind in REQUESTS:
            what = f"{method} {path} for {host}"
            response, body = ask(port, method, path, host)
            checks.equal(f"{what}: status", response.status, status)
            checks.equal(f"{what}: type", response.getheader("Content-Type") if status == 200 else None, kind)
            checks.equal(f"{what}: nosniff", response.getheader("X-Content-Type-Options"), "nosniff")
            checks.equal(f"{what}: the policy", response.getheader("Content-Security-Policy"), POLICY)
            if method == "HEAD":
                checks.equal(f"{what}: no body", body, b"")
        checks.equal("the server still runs", server.poll(), None)

        # A busy port (this server's), and a folder without the page: one line each.
        for what, arguments, start in ENDS:
            arguments = [a.replace("BUSY", str(port)) for a in arguments] if arguments else []
            folder = site if arguments else work
            ended = subprocess.run([sys.executable, SERVE, folder, *arguments], capture_output=True, text=True, timeout=30)
            lines = ended.stderr.splitlines()
            checks.equal(f"{what}: exit status", ended.returncode, 1)
            checks.equal(f"{what}: one line", len(lines), 1)
            checks.equal(f"{what}: says", lines[0].startswith(start.replace("BUSY", str(port))) if lines else lines, True)
    finally:
        server.terminate()
        server.wait()
        said = server.stderr.read()
        server.stdout.close()
        server.stderr.close()
    checks.equal("the server said nothing of the requests (no traceback)", said, "")
    return checks.finish("server", work)


if __name__ == "__main__":
    sys.exit(main())
