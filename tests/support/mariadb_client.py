"""Minimal MariaDB client for the test harness: root over the server's Unix
socket, text protocol, exact results.

The mysql command line client cannot tell a NULL from the string 'NULL' and
mangles values that hold tabs or newlines in its batch output; the harness
compares data, so it speaks the wire protocol itself.  Only what the harness
needs is here: unix_socket authentication (the connecting process's own
account, normally root), one connection per query() call, multi-statement
text, result sets as rows of strings.

    rows = query("/run/mysqld/mysqld.sock", "SELECT 1, NULL")   # [("1", None)]

Values are decoded as UTF-8 with "surrogateescape", so binary data survives:
value.encode("utf-8", "surrogateescape") gives back the bytes.
"""

import socket
import struct

# Capability flags of the client/server protocol.
CLIENT_LONG_PASSWORD = 0x1
CLIENT_LONG_FLAG = 0x4
CLIENT_CONNECT_WITH_DB = 0x8
CLIENT_PROTOCOL_41 = 0x200
CLIENT_TRANSACTIONS = 0x2000
CLIENT_SECURE_CONNECTION = 0x8000
CLIENT_MULTI_STATEMENTS = 0x10000
CLIENT_MULTI_RESULTS = 0x20000
CLIENT_PLUGIN_AUTH = 0x80000
SERVER_MORE_RESULTS_EXISTS = 0x8
UTF8MB4_GENERAL_CI = 45
COM_QUIT = 0x01
COM_QUERY = 0x03
MAX_PAYLOAD = 0xFFFFFF


class MariaDBError(Exception):
    """An error packet from the server (code, SQLSTATE and message)."""

    def __init__(self, code, state, message):
        super().__init__(f"ERROR {code} ({state}): {message}")
        self.code = code
        self.state = state
        self.message = message


class ProtocolError(Exception):
    pass


def _lenenc_int(data, pos):
    """(value, new pos); value None for the NULL marker 0xFB."""
    first = data[pos]
    if first < 0xFB:
        return first, pos + 1
    if first == 0xFB:
        return None, pos + 1
    size = {0xFC: 2, 0xFD: 3, 0xFE: 8}.get(first)
    if size is None:
        raise ProtocolError(f"bad length-encoded integer 0x{first:02x}")
    return int.from_bytes(data[pos + 1:pos + 1 + size], "little"), pos + 1 + size


def _is_eof(payload):
    # A row may also start with 0xFE (an 8-byte length), but is then longer.
    return payload[:1] == b"\xfe" and len(payload) < 9


def _error(payload):
    code = struct.unpack_from("<H", payload, 1)[0]
    rest = payload[3:]
    state = ""
    if rest[:1] == b"#":
        state, rest = rest[1:6].decode(), rest[6:]
    return MariaDBError(code, state, rest.decode(errors="replace"))


class Connection:
    def __init__(self, socket_path, user="root", database=None, timeout=60):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.seq = 0
        try:
            self.sock.connect(socket_path)
            self._login(user, database)
        except BaseException:
            self.sock.close()
            raise

    def close(self):
        try:
            self.seq = 0
            self._send(bytes([COM_QUIT]))
        except OSError:
            pass
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- packets -------------------------------------------------------

    def _recv_exact(self, n):
        buf = bytearray()
        while len(buf) < n:
            chunk = self.sock.recv(n - len(buf))
            if not chunk:
                raise ProtocolError("server closed the connection")
            buf += chunk
        return bytes(buf)

    def _read(self):
        payload = b""
        while True:
            head = self._recv_exact(4)
            length = int.from_bytes(head[:3], "little")
            self.seq = (head[3] + 1) & 0xFF
            payload += self._recv_exact(length)
            if length < MAX_PAYLOAD:
                return payload

    def _send(self, payload):
        while True:
            piece, payload = payload[:MAX_PAYLOAD], payload[MAX_PAYLOAD:]
            self.sock.sendall(len(piece).to_bytes(3, "little") + bytes([self.seq]) + piece)
            self.seq = (self.seq + 1) & 0xFF
            if len(piece) < MAX_PAYLOAD:
                return

    # ---- session -------------------------------------------------------

    def _login(self, user, database):
        greeting = self._read()
        if greeting[:1] == b"\xff":
            raise _error(greeting)
        if greeting[0] != 10:
            raise ProtocolError(f"unknown protocol version {greeting[0]}")
        caps = (CLIENT_LONG_PASSWORD | CLIENT_LONG_FLAG | CLIENT_PROTOCOL_41 | CLIENT_TRANSACTIONS
                | CLIENT_SECURE_CONNECTION | CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS
                | CLIENT_PLUGIN_AUTH)
        if database is not None:
            caps |= CLIENT_CONNECT_WITH_DB
        answer = struct.pack("<IIB23x", caps, MAX_PAYLOAD, UTF8MB4_GENERAL_CI)
        answer += user.encode() + b"\0" + b"\0"  # empty auth response
        if database is not None:
            answer += database.encode() + b"\0"
        answer += b"unix_socket\0"
        self._send(answer)
        while True:
            reply = self._read()
            if reply[:1] == b"\x00":
                return
            if reply[:1] == b"\xff":
                raise _error(reply)
            if reply[:1] == b"\xfe":
                # Switch to one of the account's plugins.  root's account
                # (mysql_native_password with an invalid hash OR unix_socket)
                # first asks for a password: an empty answer means none, and
                # the server goes on to unix_socket, which needs no data.
                plugin = reply[1:].split(b"\0", 1)[0].decode(errors="replace")
                if plugin not in ("unix_socket", "mysql_native_password"):
                    raise ProtocolError(f"account of {user!r} wants {plugin} authentication")
                self._send(b"")
                continue
            raise ProtocolError(f"unexpected authentication packet 0x{reply[0]:02x}")

    def query(self, sql):
        """Rows of every result set of sql (one or more statements), in order,
        as tuples of str with None for NULL."""
        self.seq = 0
        self._send(bytes([COM_QUERY]) + sql.encode())
        rows = []
        while True:
            payload = self._read()
            if payload[:1] == b"\xff":
                raise _error(payload)
            if payload[:1] == b"\x00":  # OK: statement without a result set
                pos = _lenenc_int(payload, 1)[1]
                pos = _lenenc_int(payload, pos)[1]
                status = struct.unpack_from("<H", payload, pos)[0]
            elif payload[:1] == b"\xfb":
                raise ProtocolError("LOAD DATA LOCAL is not supported")
            else:
                status = self._result_set(_lenenc_int(payload, 0)[0], rows)
            if not status & SERVER_MORE_RESULTS_EXISTS:
                return rows

    def _result_set(self, columns, rows):
        for _ in range(columns):
            self._read()  # column definitions: not needed
        if not _is_eof(self._read()):
            raise ProtocolError("no EOF after the column definitions")
        while True:
            payload = self._read()
            if payload[:1] == b"\xff":
                raise _error(payload)
            if _is_eof(payload):
                return struct.unpack_from("<H", payload, 3)[0]
            row, pos = [], 0
            for _ in range(columns):
                length, pos = _lenenc_int(payload, pos)
                if length is None:
                    row.append(None)
                else:
                    row.append(payload[pos:pos + length].decode("utf-8", "surrogateescape"))
                    pos += length
            rows.append(tuple(row))


def query(socket_path, sql, database=None, user="root", timeout=60):
    with Connection(socket_path, user=user, database=database, timeout=timeout) as conn:
        return conn.query(sql)
