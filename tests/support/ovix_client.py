"""Minimal Ovix Server client for checking the stand-in server from inside a
sandbox.  Asks one question and prints a JSON report of what came back:

  refused          the connection was refused (nothing else is set)
  greeting         first data received after connecting
  answer           the answer (latin-1), or null if longer than --keep bytes
  length           answer length in bytes
  receives         number of recv() calls that returned data
  terminated       the answer ended with the terminator
  split_terminator the terminator arrived in more than one recv()
  closed           the server closed the connection (before a terminator)
  first_byte       seconds from sending the command to the first answer
                   byte, null if none came
  elapsed          seconds from sending the command to the end of reading

Usage: ovix_client.py --action A | --command XML [--host H] [--port P]
"""

import argparse
import json
import socket
import time

TERMINATOR = b"\r\n.\r\n"


def ask(host, port, command, timeout):
    try:
        sock = socket.create_connection((host, port), timeout=timeout)
    except ConnectionRefusedError:
        return {"refused": True}
    with sock:
        greeting = sock.recv(4096)
        sock.sendall(command)
        sent = time.monotonic()
        answer = bytearray()
        ends = []
        first = None
        closed = False
        while not answer.endswith(TERMINATOR):
            chunk = sock.recv(1 << 16)
            if not chunk:
                closed = True
                break
            if first is None:
                first = time.monotonic() - sent
            answer += chunk
            ends.append(len(answer))
        elapsed = time.monotonic() - sent
    terminated = answer.endswith(TERMINATOR)
    return {
        "refused": False,
        "greeting": greeting.decode("latin-1"),
        "answer": bytes(answer),
        "length": len(answer),
        "receives": len(ends),
        "terminated": terminated,
        "split_terminator": terminated and any(len(answer) - 5 < e < len(answer) for e in ends),
        "closed": closed,
        "first_byte": first,
        "elapsed": elapsed,
    }


def main():
    parser = argparse.ArgumentParser()
    what = parser.add_mutually_exclusive_group(required=True)
    what.add_argument("--action")
    what.add_argument("--command")
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8789)
    parser.add_argument("--timeout", type=float, default=30)
    parser.add_argument("--keep", type=int, default=1 << 16)
    args = parser.parse_args()
    command = args.command if args.command is not None else \
        f"<command><action>{args.action}</action></command>"
    report = ask(args.host, args.port, command.encode() + TERMINATOR, args.timeout)
    if "answer" in report:
        answer = report["answer"]
        report["answer"] = answer.decode("latin-1") if len(answer) <= args.keep else None
    print(json.dumps(report))


if __name__ == "__main__":
    main()
