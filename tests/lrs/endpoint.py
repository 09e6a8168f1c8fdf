#!/usr/bin/env python3
"""A statement endpoint of a learning record store, as strict as the tests
need: POST /xapi/statements with the xAPI version header, Basic
authentication and a JSON array of statements with ids. It keeps each
statement once, answers 409 for a batch holding an id it has, and can be
down for a while (500) or too slow once.

Usage: endpoint.py PORT_FILE STORE_FILE USER:PASSWORD [--fail N] [--slow-at K] [--port P]
  --fail N     answers 500 to the signed-in POSTs numbered 2 .. N+1
  --slow-at K  keeps POST number K, then answers only after 3 seconds
  --port P     listens on port P (a store that comes up where one was down)
Writes the port it listens on to PORT_FILE; appends every statement kept,
one JSON object a line, to STORE_FILE."""
import base64
import json
import os
import re
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

port_file, store_file, credentials = sys.argv[1:4]
options = sys.argv[4:]
fail = int(options[options.index("--fail") + 1]) if "--fail" in options else 0
port = int(options[options.index("--port") + 1]) if "--port" in options else 0
slow_at = int(options[options.index("--slow-at") + 1]) if "--slow-at" in options else 0
expected_auth = "Basic " + base64.b64encode(credentials.encode()).decode()
uuid = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-[1-5][0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$")
lock = threading.Lock()
kept = {}
posts = 0


class Handler(BaseHTTPRequestHandler):
    def answer(self, status, body=b""):
        self.send_response(status)
        self.send_header("X-Experience-API-Version", "1.0.3")
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def refuse(self, status, why):
        self.answer(status, json.dumps({"message": why}).encode())

    def do_POST(self):
        global posts
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if self.path != "/xapi/statements":
            return self.refuse(404, "no such resource " + self.path)
        if self.headers.get("Authorization") != expected_auth:
            return self.refuse(401, "bad credentials")
        with lock:  # only the sign-in's POSTs are numbered
            posts += 1
            number = posts
        if self.headers.get("X-Experience-API-Version") != "1.0.3":
            return self.refuse(400, "X-Experience-API-Version 1.0.3 is required")
        if self.headers.get("Content-Type", "").split(";")[0] != "application/json":
            return self.refuse(400, "Content-Type must be application/json")
        if 2 <= number <= fail + 1:
            return self.refuse(500, "down for a while")
        try:
            batch = json.loads(body)
        except ValueError:
            return self.refuse(400, "not JSON")
        if not isinstance(batch, list) or not batch:
            return self.refuse(400, "a batch is a non-empty array of statements")
        ids = [s.get("id", "") if isinstance(s, dict) else "" for s in batch]
        if any(not uuid.match(i) for i in ids) or len(set(ids)) != len(ids):
            return self.refuse(400, "every statement needs an id of its own")
        if any(s.get("version") != "1.0.3" or "actor" not in s or "verb" not in s for s in batch):
            return self.refuse(400, "not a statement")
        with lock:
            if any(i in kept for i in ids):
                return self.refuse(409, "already have a statement with that id")
            with open(store_file, "a", encoding="utf-8") as store:
                for s in batch:
                    kept[s["id"]] = s
                    store.write(json.dumps(s, ensure_ascii=False) + "\n")
        if number == slow_at:
            time.sleep(3)
        self.answer(200, json.dumps(ids).encode())

    def log_message(self, *args):
        pass


server = ThreadingHTTPServer(("127.0.0.1", port), Handler)
# The port file appears whole or not at all.
with open(port_file + ".part", "w") as f:
    f.write(str(server.server_address[1]))
os.rename(port_file + ".part", port_file)
server.serve_forever()
