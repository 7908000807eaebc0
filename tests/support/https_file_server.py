"""A small HTTPS file server for download tests: serves one folder on 127.0.0.1.

Usage: https_file_server.py ROOT CERT KEY PORT_FILE

Paths:
  /files/NAME     the file ROOT/NAME (also /catalog/NAME)
  /held/NAME      the first half of the file, then the rest once ROOT/release exists
  /cut/NAME       the full length announced, half the file sent, then the connection closed
  /moved/NAME     a redirect to /files/NAME
Anything else, or a missing file, is 404.
A POST to any path is answered with an empty body and the status on the request's line of
ROOT/post-status (one status a line, the last line for every request after; 200 without the file);
its body is kept as ROOT/posts/N (N counting from 1) and its path logged as GET paths are. The chosen port is written to PORT_FILE once the server
listens. The server ends when ROOT/stop exists or after ten minutes.
"""
import http.server
import os
import ssl
import sys
import threading
import time

ROOT, CERT, KEY, PORT_FILE = sys.argv[1:5]
LIFETIME_S = 600


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        with open(os.path.join(ROOT, "requests.log"), "a") as log:
            log.write("%s %s\n" % (self.path, self.headers.get("User-Agent", "")))

    def body(self, name):
        path = os.path.join(ROOT, name)
        if "/" in name or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def do_GET(self):
        parts = self.path.split("/", 2)
        kind, name = (parts[1], parts[2]) if len(parts) == 3 else ("", "")
        self.log_message("")
        if kind == "moved":
            self.send_response(302)
            self.send_header("Location", "/files/" + name)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        data = self.body(name) if kind in ("files", "catalog", "held", "cut") else None
        if data is None:
            self.send_response(404)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        self.send_response(200)
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Content-Type", "application/octet-stream")
        self.end_headers()
        half = len(data) // 2
        if kind in ("files", "catalog"):
            self.wfile.write(data)
        elif kind == "cut":
            self.wfile.write(data[:half])
            self.wfile.flush()
            self.close_connection = True
        else:
            self.wfile.write(data[:half])
            self.wfile.flush()
            release = os.path.join(ROOT, "release")
            while not os.path.exists(release):
                time.sleep(0.02)
            self.wfile.write(data[half:])

    def do_POST(self):
        with post_lock:
            posts = os.path.join(ROOT, "posts")
            os.makedirs(posts, exist_ok=True)
            number = len(os.listdir(posts)) + 1
            length = int(self.headers.get("Content-Length", "0"))
            with open(os.path.join(posts, "%d.tmp" % number), "wb") as f:
                f.write(self.rfile.read(length))
            os.rename(os.path.join(posts, "%d.tmp" % number), os.path.join(posts, str(number)))
        self.log_message("")
        self.send_response(post_status(number))
        self.send_header("Content-Length", "0")
        self.end_headers()


post_lock = threading.Lock()


def post_status(number):
    try:
        with open(os.path.join(ROOT, "post-status")) as f:
            codes = [int(line) for line in f.read().split()]
    except OSError:
        return 200
    return codes[min(number, len(codes)) - 1] if codes else 200


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(CERT, KEY)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with open(PORT_FILE + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(PORT_FILE + ".tmp", PORT_FILE)
    deadline = time.time() + LIFETIME_S
    while time.time() < deadline and not os.path.exists(os.path.join(ROOT, "stop")):
        time.sleep(0.05)


main()
