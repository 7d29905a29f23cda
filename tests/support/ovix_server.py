"""Stand-in Ovix Server for system tests; runs inside a sandbox.

Protocol of the real server: one TCP connection per question.  The server
greets, the client sends one XML command ended by "\\r\\n.\\r\\n", the server
answers with one XML document ended the same way and closes:

    <command><action>A</action><parameter name="N"><![CDATA[V]]></parameter>...</command>\\r\\n.\\r\\n

with nothing between the elements (the clients take text between elements
as values).

Answers come from a JSON table: action -> answer spec, or a list of specs
used in turn (the last one repeats).  Spec keys:
  entries    list of [name, value]; a name repeats for a list of values
  action     action written in the answer (default: the one asked for)
  raw        exact answer body instead of the built document
  mode       how the answer is delivered, a fault a client must survive:
    normal     body + terminator
    split      body + terminator in three sends, "delay" seconds apart
               (default 0.2), the terminator cut after its first "\\r\\n"
    noterm     body without terminator, then close
    malformed  a document that is not well-formed, terminated
    empty      the terminator only
    close      close without sending anything
    silent     send nothing for "delay" seconds (default 200), then close
    oversized  a body of "size" bytes (default 20 MiB), followed by the
               terminator unless "terminate" is false
An action missing from the table is answered with the action element only.

Every command received is appended to the record file as a JSON line
{"action": ..., "raw": ..., "peer": ...} before it is answered; raw is the
text as received, terminator included, and peer the client's address
(IPv4 clients appear as ::ffff:a.b.c.d).

Usage: ovix_server.py --table FILE --record FILE [--port 8789] [--host ::]
Prints "listening" once it accepts connections.
"""

import argparse
import json
import re
import socket
import sys
import threading
import time
import xml.etree.ElementTree as ET

TERMINATOR = b"\r\n.\r\n"
GREETING = b"Ovix Server ready\r\n"
MAX_COMMAND = 1 << 20
READ_TIMEOUT = 60
MODES = {"normal", "split", "noterm", "malformed", "empty", "close", "silent", "oversized"}


def build_answer(action, entries):
    parts = ["<command><action>", action, "</action>"]
    for name, value in entries:
        parts += ['<parameter name="', str(name), '"><![CDATA[', str(value), "]]></parameter>"]
    parts.append("</command>")
    return "".join(parts).encode()


def load_table(path):
    with open(path) as f:
        table = json.load(f)
    if not isinstance(table, dict):
        sys.exit("table must map actions to answer specs")
    for action, specs in table.items():
        specs = table[action] = specs if isinstance(specs, list) else [specs]
        for spec in specs:
            if spec.get("mode", "normal") not in MODES:
                sys.exit(f"{action}: unknown mode {spec['mode']!r}")
    return table


def read_command(conn):
    data = b""
    while TERMINATOR not in data and len(data) <= MAX_COMMAND:
        chunk = conn.recv(65536)
        if not chunk:
            break
        data += chunk
    return data


def action_of(data):
    body = data.split(TERMINATOR, 1)[0]
    try:
        return (ET.fromstring(body).findtext("action") or "").strip()
    except ET.ParseError:
        match = re.search(rb"<action>(.*?)</action>", body, re.S)
        return match.group(1).decode(errors="replace").strip() if match else ""


class Server:
    def __init__(self, table, record):
        self.table = table
        self.record = record
        self.turns = {}
        self.lock = threading.Lock()

    def next_spec(self, action):
        with self.lock:
            specs = self.table.get(action)
            if specs is None:
                return None
            turn = self.turns.get(action, 0)
            self.turns[action] = turn + 1
            return specs[min(turn, len(specs) - 1)]

    def log(self, data, action, peer):
        line = json.dumps({"action": action, "raw": data.decode("utf-8", "surrogateescape"),
                           "peer": peer})
        with self.lock, open(self.record, "a") as f:
            f.write(line + "\n")

    def handle(self, conn):
        with conn:
            try:
                conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                conn.settimeout(READ_TIMEOUT)
                conn.sendall(GREETING)
                data = read_command(conn)
                action = action_of(data)
                self.log(data, action, conn.getpeername()[0])
                if TERMINATOR not in data:
                    return  # client gave up, or flooded us
                self.answer(conn, action, self.next_spec(action))
            except OSError as exc:
                print(f"connection: {exc}", file=sys.stderr, flush=True)

    def answer(self, conn, action, spec):
        if spec is None:
            conn.sendall(build_answer(action, []) + TERMINATOR)
            return
        mode = spec.get("mode", "normal")
        name = spec.get("action", action)
        body = spec["raw"].encode() if "raw" in spec else build_answer(name, spec.get("entries", []))
        if mode == "normal":
            conn.sendall(body + TERMINATOR)
        elif mode == "split":
            data = body + TERMINATOR
            cut = len(body) + 2
            pieces = (data[:len(body) // 2], data[len(body) // 2:cut], data[cut:])
            for i, piece in enumerate(pieces):
                if i:
                    time.sleep(spec.get("delay", 0.2))
                conn.sendall(piece)
        elif mode == "noterm":
            conn.sendall(body)
        elif mode == "malformed":
            # End tag of the root left unfinished.
            conn.sendall(body.replace(b"</command>", b"") + b"</command" + TERMINATOR)
        elif mode == "empty":
            conn.sendall(TERMINATOR)
        elif mode == "silent":
            time.sleep(spec.get("delay", 200))
        elif mode == "oversized":
            size = spec.get("size", 20 << 20)
            head = f'<command><action>{name}</action><parameter name="data"><![CDATA['.encode()
            tail = b"]]></parameter></command>"
            fill = size - len(head) - len(tail)
            data = head + b"A" * fill + tail if fill >= 0 else b"A" * size
            conn.sendall(data + (TERMINATOR if spec.get("terminate", True) else b""))
        # "close": nothing at all


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--table", required=True)
    parser.add_argument("--record", required=True)
    parser.add_argument("--port", type=int, default=8789)
    parser.add_argument("--host", default="::")
    args = parser.parse_args()
    server = Server(load_table(args.table), args.record)

    sock = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    # One socket for 127.0.0.1, ::1 and "localhost" alike.
    sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
    sock.bind((args.host, args.port))
    sock.listen(64)
    print("listening", flush=True)
    while True:
        conn, _ = sock.accept()
        # Threads, so that a silent answer does not hold up other clients.
        threading.Thread(target=server.handle, args=(conn,), daemon=True).start()


if __name__ == "__main__":
    main()
