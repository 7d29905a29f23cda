"""TCP port of the MariaDB server inside a sandbox; runs inside a sandbox.

The server runs on the host and is reachable only through its Unix socket
(the host's /run is visible in the sandbox), but the programs under test
connect with a port (-h localhost --port=3306), which makes the client use
TCP, and the sandbox has a network namespace of its own.  This relay listens
on the sandbox's loopback and forwards every connection, byte for byte, to
the socket.

It listens dual-stack on "::" so that 127.0.0.1, ::1 and localhost all work.
After binding it gives up root (default: nobody): the server authenticates
a Unix socket peer by its account (unix_socket), and a relay running as root
would let any TCP client log in as root without a password, which a real TCP
connection never does.

Every accepted connection is reported on stderr as "connect <peer address>"
(IPv4 clients appear as ::ffff:a.b.c.d).

Usage: tcp_relay.py --socket /run/mysqld/mysqld.sock [--port 3306]
                    [--host ::] [--user nobody]
Prints "listening" once it accepts connections.
"""

import argparse
import os
import pwd
import socket
import sys
import threading
import time

CHUNK = 65536


def log(text):
    print(text, file=sys.stderr, flush=True)


def pump(src, dst, both):
    """Copies src to dst until src ends; then ends dst's sending side so the
    other end sees EOF.  On an error both connections are cut, which also
    wakes the pump of the other direction."""
    try:
        while True:
            data = src.recv(CHUNK)
            if not data:
                break
            dst.sendall(data)
        dst.shutdown(socket.SHUT_WR)
    except OSError:
        for s in both:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def relay(client, socket_path):
    with client:
        try:
            upstream = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            upstream.connect(socket_path)
        except OSError as exc:
            log(f"cannot reach {socket_path}: {exc}")
            upstream.close()
            return
        with upstream:
            both = (client, upstream)
            back = threading.Thread(target=pump, args=(upstream, client, both), daemon=True)
            back.start()
            pump(client, upstream, both)
            back.join()


def drop_privileges(user):
    entry = pwd.getpwnam(user)
    os.setgroups([])
    os.setgid(entry.pw_gid)
    os.setuid(entry.pw_uid)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--socket", required=True)
    parser.add_argument("--port", type=int, default=3306)
    parser.add_argument("--host", default="::")
    parser.add_argument("--user", default="nobody")
    args = parser.parse_args()

    sock = socket.socket(socket.AF_INET6, socket.SOCK_STREAM)
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.setsockopt(socket.IPPROTO_IPV6, socket.IPV6_V6ONLY, 0)
    sock.bind((args.host, args.port))
    sock.listen(64)
    if os.getuid() == 0 and args.user:
        drop_privileges(args.user)
    print("listening", flush=True)
    while True:
        try:
            conn, peer = sock.accept()
        except OSError as exc:  # e.g. out of file descriptors: keep serving
            log(f"accept: {exc}")
            time.sleep(0.1)
            continue
        log(f"connect {peer[0]}")
        threading.Thread(target=relay, args=(conn, args.socket), daemon=True).start()


if __name__ == "__main__":
    main()
