"""Throw-away copy of this machine for running the suite's root programs.

The programs under test work on fixed system paths (/etc/Ovix.conf,
/etc/passwd, /var/spool/vmail, /usr/local/ovix ...) and must run unmodified,
yet a test run must leave the machine exactly as it was.  A Sandbox gives
them the real paths on a private, copy-on-write view of the machine.

Layout
------
* A holder process (tests/support/sandbox_init.py) is started by ``unshare``
  in new mount, network, pid, UTS and IPC namespaces.  It is pid 1 of its pid
  namespace and only reaps orphans; killing it kills everything started
  inside, including daemons that detached with daemon(3).
* The holder mounts a tmpfs on the host temp folder ``/tmp/ovix-sbx-XXXX``
  (visible in its mount namespace only) and builds the new root there:
    - "/" is an overlayfs: the host's root file system is the read-only lower
      layer, the upper layer lives on that tmpfs.  Every other writable host
      mount (e.g. a separate /home or /tmp) gets an overlay of its own,
      read-only host mounts are bound read-only, and files the host
      bind-mounts over single files (/etc/hosts in containers) are copied.
      So /etc, /usr/local, /home, /root, /var, /tmp, and even new top-level
      folders, can all be written; nothing reaches the host's disk.
    - /proc is a new proc (only sandbox processes are visible, pgrep works),
      with /proc/sys read-only; /dev is the host's with a private /dev/shm;
      /sys is the host's, read-only.
    - /run is the HOST's /run on purpose: the MariaDB server started by the
      test command keeps its socket in /run/mysqld.  Anything else written
      there does reach the host.  Programs that connect with a port (TCP)
      reach that server through start_mysql_relay().
    - /etc/hosts maps localhost to both 127.0.0.1 and ::1; the network
      namespace has only ``lo``, which is up.  Several sandboxes can listen
      on the same port at the same time.
    - /.sandbox (mode 0700) holds the harness's own files: records of the
      init script stubs, the stand-in Ovix Server's table, request record
      and log.
  It then pivots into the new root and reports ``READY <host pid>``.
* Commands run inside through ``nsenter --target <holder>`` into all its
  namespaces, each in a new session so that a timeout can kill the whole
  process group.  Popen.pid and pexpect's pid are those of nsenter (a host
  process); signals sent through the Popen objects returned here reach the
  program itself.
* The host reaches the sandbox's files through ``/proc/<holder>/root``.
  Symbolic links are resolved here, against the sandbox root, never by the
  kernel against the host root: an absolute link inside the sandbox must
  not lead a write to the host's file of the same name.
* close() kills the holder (which ends the namespaces and all mounts), waits
  for every process it started and removes the temp folder.  Nothing needs to
  be unmounted on the host.
"""

import collections
import ctypes
import ctypes.util
import json
import os
import posixpath
import select
import shlex
import shutil
import signal
import stat
import subprocess
import tempfile
import time
from pathlib import Path

REPO_ROOT = Path(__file__).resolve().parents[2]
SUPPORT_DIR = REPO_ROOT / "tests" / "support"
SYSTEM_PYTHON = "/usr/bin/python3"
HARNESS_DIR = "/.sandbox"
PANEL_CONF = "/etc/Ovix.conf"
DEFAULT_INSFOLDER = "/usr/local/ovix"
OVIX_PORT = 8789
MYSQL_PORT = 3306
MYSQL_SOCKET = "/run/mysqld/mysqld.sock"

DEFAULT_ENV = {
    "PATH": "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
    "LANG": "C.UTF-8",
    "HOME": "/root",
}

# One entry of tree(): kind is "file", "dir", "link", "fifo", "socket", "char"
# or "block"; mode holds the permission bits (with set-id and sticky bits);
# data is the content of a file, the target of a link, else None.
Node = collections.namedtuple("Node", "kind mode uid gid data")
Stat = collections.namedtuple("Stat", "kind mode uid gid size")

_KINDS = ((stat.S_ISREG, "file"), (stat.S_ISDIR, "dir"), (stat.S_ISLNK, "link"),
          (stat.S_ISFIFO, "fifo"), (stat.S_ISSOCK, "socket"),
          (stat.S_ISCHR, "char"), (stat.S_ISBLK, "block"))


def _kind(st_mode):
    for test, name in _KINDS:
        if test(st_mode):
            return name
    return "unknown"


class SandboxError(RuntimeError):
    pass


def _tool(name):
    path = shutil.which(name, path=DEFAULT_ENV["PATH"])
    if path is None:
        raise SandboxError(f"{name} (util-linux) is needed to build sandboxes")
    return path


_LIBC = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)


def _die_with_parent():
    # Runs in the child before exec: if the test run itself is killed, the
    # sandbox goes with it (unshare passes SIGKILL on to the holder).
    PR_SET_PDEATHSIG = 1
    _LIBC.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def _read_line(stream, timeout):
    """First line of a pipe, or everything up to EOF/timeout if there is none."""
    fd = stream.fileno()
    data = b""
    deadline = time.monotonic() + timeout
    while b"\n" not in data:
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, 4096)
        if not chunk:
            break
        data += chunk
    return data.decode(errors="replace")


def _children(pid):
    """Host pids whose parent is pid (no /proc/<pid>/task/*/children here)."""
    kids = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat", "rb") as f:
                fields = f.read().rsplit(b")", 1)[1].split()
        except OSError:
            continue
        if int(fields[1]) == pid:
            kids.append(int(entry))
    return kids


class SandboxPopen(subprocess.Popen):
    """Popen of an nsenter that runs one program inside a sandbox.

    send_signal (and so terminate and kill) signals the program rather than
    nsenter, so that the program's own exit status is what wait() returns.
    """

    def send_signal(self, sig):
        if self.poll() is not None:
            return
        kids = _children(self.pid)
        try:
            if kids:
                for kid in kids:
                    os.kill(kid, sig)
            else:  # nsenter has not forked yet
                os.killpg(self.pid, sig)
        except ProcessLookupError:
            pass


def _stop_program(proc):
    """Ends a helper started with Sandbox.popen: TERM, then KILL."""
    if proc.poll() is None:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    if proc.stdout:
        proc.stdout.close()


class OvixServer:
    """Handle of a stand-in Ovix Server running inside a sandbox."""

    def __init__(self, sandbox, proc, port, folder):
        self.sandbox = sandbox
        self.proc = proc
        self.port = port
        self.folder = folder

    def _records(self):
        path = self.folder + "/requests.jsonl"
        if not self.sandbox.exists(path):
            return []
        lines = self.sandbox.read_file(path).decode().splitlines()
        return [json.loads(line) for line in lines]

    def requests(self):
        """Raw text of every command received, terminator included, in order."""
        return [r["raw"] for r in self._records()]

    def actions(self):
        return [r["action"] for r in self._records()]

    def peers(self):
        """Address each command came from, in order."""
        return [r["peer"] for r in self._records()]

    def log(self):
        return self.sandbox.read_file(self.folder + "/server.log").decode(errors="replace")

    def stop(self):
        _stop_program(self.proc)


class MysqlRelay:
    """Handle of the TCP relay to the MariaDB server's socket inside a sandbox
    (tests/support/tcp_relay.py)."""

    def __init__(self, sandbox, proc, port, log_path):
        self.sandbox = sandbox
        self.proc = proc
        self.port = port
        self.log_path = log_path

    def log(self):
        return self.sandbox.read_file(self.log_path).decode(errors="replace")

    def peers(self):
        """Address of each client the relay accepted, in order."""
        return [line.split(" ", 1)[1] for line in self.log().splitlines()
                if line.startswith("connect ")]

    def stop(self):
        _stop_program(self.proc)


class Sandbox:
    def __init__(self, ready_timeout=30):
        self._procs = []
        self._spawned = []
        self._closed = False
        self._insfolder = DEFAULT_INSFOLDER
        self._servers = 0
        self._relays = 0
        # Handle of the last relay start_mysql_relay() started.
        self.mysql_relay = None
        self.pid = None
        self._holder = None
        unshare, self._nsenter = _tool("unshare"), _tool("nsenter")
        self.tmpdir = tempfile.mkdtemp(prefix="ovix-sbx-")
        try:
            self._holder = subprocess.Popen(
                [unshare, "--mount", "--net", "--pid", "--uts", "--ipc",
                 "--propagation", "private", "--kill-child=SIGKILL", "--fork",
                 SYSTEM_PYTHON, "-I", str(SUPPORT_DIR / "sandbox_init.py"), self.tmpdir],
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                env=dict(DEFAULT_ENV), preexec_fn=_die_with_parent)
            line = _read_line(self._holder.stdout, ready_timeout)
            if not line.startswith("READY "):
                if self._holder.poll() is None:
                    self._holder.kill()
                rest = _read_line(self._holder.stdout, 2)
                raise SandboxError(f"sandbox did not start: {line}{rest}".strip())
            self.pid = int(line.split()[1])
            self._holder.stdout.close()
            self.root = f"/proc/{self.pid}/root"
            self.pidns = os.readlink(f"/proc/{self.pid}/ns/pid")
        except BaseException:
            self.close()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- files ---------------------------------------------------------

    def _resolve(self, p, follow=True):
        """Host path of sandbox path p with every symlink resolved inside the
        sandbox (the last component only if follow)."""
        todo = collections.deque(posixpath.join("/", os.fspath(p)).split("/"))
        done = []
        hops = 0
        while todo:
            name = todo.popleft()
            if name in ("", "."):
                continue
            if name == "..":
                if done:
                    done.pop()
                continue
            candidate = self.root + "/" + "/".join(done + [name])
            if (todo or follow) and os.path.islink(candidate):
                hops += 1
                if hops > 40:
                    raise OSError(40, "too many levels of symbolic links", p)
                target = os.readlink(candidate)
                if target.startswith("/"):
                    done = []
                todo.extendleft(reversed(target.split("/")))
                continue
            done.append(name)
        return self.root + "/" + "/".join(done)

    def path(self, p):
        """Host path through which sandbox path p is read and written."""
        return self._resolve(p)

    def exists(self, p):
        """Whether there is an entry at p (a dangling link counts)."""
        return os.path.lexists(self._resolve(p, follow=False))

    def stat(self, p, follow_symlinks=True):
        st = os.lstat(self._resolve(p, follow=follow_symlinks))
        return Stat(_kind(st.st_mode), stat.S_IMODE(st.st_mode), st.st_uid, st.st_gid, st.st_size)

    def read_file(self, p):
        with open(self._resolve(p), "rb") as f:
            return f.read()

    def makedirs(self, p, mode=0o755, uid=0, gid=0):
        """Create p and missing parents (with mode and owner), like mkdir -p."""
        parts = [x for x in posixpath.normpath(posixpath.join("/", p)).split("/") if x]
        for i in range(1, len(parts) + 1):
            host = self._resolve("/" + "/".join(parts[:i]))
            if not os.path.lexists(host):
                os.mkdir(host)
                os.chown(host, uid, gid)
                os.chmod(host, mode)

    def write_file(self, p, content, mode=0o644, uid=0, gid=0):
        self.makedirs(posixpath.dirname(posixpath.join("/", p)))
        host = self._resolve(p)
        if isinstance(content, str):
            content = content.encode()
        with open(host, "wb") as f:
            f.write(content)
        os.chown(host, uid, gid)  # before chmod: chown drops set-id bits
        os.chmod(host, mode)

    def tree(self, p):
        """Everything below folder p: relative path -> Node."""
        out = {}

        def walk(host, prefix):
            for entry in sorted(os.scandir(host), key=lambda e: e.name):
                st = entry.stat(follow_symlinks=False)
                kind = _kind(st.st_mode)
                rel = prefix + entry.name
                data = None
                if kind == "file":
                    with open(entry.path, "rb") as f:
                        data = f.read()
                elif kind == "link":
                    data = os.fsencode(os.readlink(entry.path))
                out[rel] = Node(kind, stat.S_IMODE(st.st_mode), st.st_uid, st.st_gid, data)
                if kind == "dir":
                    walk(entry.path, rel + "/")

        walk(self._resolve(p), "")
        return out

    # ---- panel fixtures ------------------------------------------------

    def write_panel_conf(self, insfolder=DEFAULT_INSFOLDER, **keys):
        """/etc/Ovix.conf with InsFolder first (left out if None), then keys
        in the order given, as: Key = "value"."""
        items = ([("InsFolder", insfolder)] if insfolder is not None else []) + list(keys.items())
        self.write_file(PANEL_CONF, "".join(f'{k} = "{v}"\n' for k, v in items), mode=0o600)
        if insfolder is not None:
            self._insfolder = insfolder

    def write_hosts_allow(self, lines):
        self.write_file(f"{self._insfolder}/etc/hosts.allow", "".join(f"{l}\n" for l in lines))

    def _init_record(self, name):
        return f"{HARNESS_DIR}/init.d/{name}.calls"

    def add_init_script(self, name, status=0):
        """Executable /etc/init.d/<name> that records its arguments and exits
        with status."""
        record = self._init_record(name)
        self.makedirs(posixpath.dirname(record), mode=0o700)
        # Each argument as "A<arg>\0", each call ended by "E\n": unambiguous
        # for any argument text.
        self.write_file(f"/etc/init.d/{name}",
                        "#!/bin/sh\n"
                        "# Stand-in for a service's init script: records each call.\n"
                        f"{{ for a in \"$@\"; do printf 'A%s\\0' \"$a\"; done; printf 'E\\n'; }}"
                        f" >> {shlex.quote(record)}\n"
                        f"exit {int(status)}\n", mode=0o755)

    def init_calls(self, name):
        """Argument lists of every call of /etc/init.d/<name>, in order."""
        record = self._init_record(name)
        if not self.exists(record):
            return []
        data = self.read_file(record)
        calls, args, i = [], [], 0
        while i < len(data):
            if data[i:i + 2] == b"E\n":
                calls.append(args)
                args = []
                i += 2
            else:  # b"A"
                end = data.index(b"\0", i)
                args.append(data[i + 1:end].decode(errors="surrogateescape"))
                i = end + 1
        return calls

    # ---- processes -----------------------------------------------------

    def _command(self, argv, cwd=None):
        argv = [os.fspath(a) for a in argv]
        if cwd is not None:
            # nsenter --wd would open the folder on the host side.
            argv = ["/bin/sh", "-c", 'cd -- "$0" && exec "$@"', os.fspath(cwd)] + argv
        return [self._nsenter, f"--target={self.pid}", "--mount", "--net", "--pid",
                "--uts", "--ipc", "--"] + argv

    @staticmethod
    def _env(env, base=DEFAULT_ENV):
        merged = dict(base)
        for key, value in (env or {}).items():
            if value is None:
                merged.pop(key, None)
            else:
                merged[key] = str(value)
        return merged

    def run(self, argv, input=None, env=None, timeout=60, cwd=None):
        """Run argv inside and wait. A value of None in env removes that
        variable. On timeout the program's process group is killed and
        subprocess.TimeoutExpired raised."""
        if isinstance(input, str):
            input = input.encode()
        proc = SandboxPopen(self._command(argv, cwd),
                            stdin=subprocess.DEVNULL if input is None else subprocess.PIPE,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=self._env(env), start_new_session=True)
        self._procs.append(proc)  # until it is reaped, for close()
        try:
            out, err = proc.communicate(input, timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            try:
                out, err = proc.communicate(timeout=10)
            except subprocess.TimeoutExpired:
                # Something that left the group still holds the pipes;
                # close() will end it.
                out = err = None
            raise subprocess.TimeoutExpired(list(argv), timeout, out, err) from None
        self._procs.remove(proc)
        return subprocess.CompletedProcess(list(argv), proc.returncode, out, err)

    def popen(self, argv, env=None, cwd=None, **kwargs):
        """Start argv inside in the background. stdin defaults to /dev/null,
        stdout and stderr to pipes; other keywords go to subprocess.Popen."""
        kwargs.setdefault("stdin", subprocess.DEVNULL)
        kwargs.setdefault("stdout", subprocess.PIPE)
        kwargs.setdefault("stderr", subprocess.PIPE)
        proc = SandboxPopen(self._command(argv, cwd), env=self._env(env),
                            start_new_session=True, **kwargs)
        self._procs.append(proc)
        return proc

    def spawn(self, argv, env=None, timeout=30, cwd=None):
        """argv inside on a pseudo-terminal, for interactive programs."""
        import pexpect

        cmd = self._command(argv, cwd)
        child = pexpect.spawn(cmd[0], cmd[1:], env=self._env(env, dict(DEFAULT_ENV, TERM="dumb")),
                              timeout=timeout, encoding="utf-8", dimensions=(24, 80))
        self._spawned.append(child)
        return child

    def _start_listener(self, script, args, log_path, make_handle, what, ready_timeout):
        """Start a tests/support script inside that prints "listening" once it
        accepts connections; its standard error goes to log_path."""
        if not self.exists(log_path):
            self.write_file(log_path, "")
        with open(self.path(log_path), "wb") as log:
            proc = self.popen([SYSTEM_PYTHON, "-I", str(SUPPORT_DIR / script), *args],
                              stdout=subprocess.PIPE, stderr=log)
        handle = make_handle(proc)
        line = _read_line(proc.stdout, ready_timeout)
        if line.strip() != "listening":
            handle.stop()
            raise SandboxError(f"{what} did not start: {line}{handle.log()}".strip())
        return handle

    def start_ovix_server(self, table, port=OVIX_PORT, ready_timeout=20):
        """Start tests/support/ovix_server.py inside, answering from table
        (action -> answer spec, see that file), and wait until it listens."""
        self._servers += 1
        folder = f"{HARNESS_DIR}/ovix-server-{self._servers}"
        self.write_file(folder + "/table.json", json.dumps(table))
        return self._start_listener(
            "ovix_server.py", ["--port", str(port), "--table", folder + "/table.json",
                               "--record", folder + "/requests.jsonl"],
            folder + "/server.log", lambda proc: OvixServer(self, proc, port, folder),
            "Ovix Server", ready_timeout)

    def start_mysql_relay(self, port=MYSQL_PORT, socket_path=MYSQL_SOCKET, ready_timeout=20):
        """Start tests/support/tcp_relay.py inside: TCP port on loopback (IPv4
        and IPv6) forwarded to the host MariaDB server's Unix socket.  Waits
        until it listens; the handle is also kept as self.mysql_relay."""
        self._relays += 1
        log_path = f"{HARNESS_DIR}/mysql-relay-{self._relays}.log"
        self.mysql_relay = self._start_listener(
            "tcp_relay.py", ["--port", str(port), "--socket", socket_path], log_path,
            lambda proc: MysqlRelay(self, proc, port, log_path), "MySQL relay", ready_timeout)
        return self.mysql_relay

    # ---- teardown ------------------------------------------------------

    def close(self):
        if self._closed:
            return
        self._closed = True
        holder = self._holder
        if holder is not None:
            if self.pid is not None:
                try:
                    os.kill(self.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
            if holder.poll() is None and self.pid is None:
                holder.kill()  # --kill-child takes the holder along
            try:
                holder.wait(timeout=30)
            except subprocess.TimeoutExpired:
                holder.kill()
                holder.wait()
            if holder.stdout:
                holder.stdout.close()
        # With pid 1 gone every program inside is dead; what remains are the
        # nsenter processes waiting for them.
        for proc in self._procs:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait()
            for stream in (proc.stdin, proc.stdout, proc.stderr):
                if stream:
                    stream.close()
        for child in self._spawned:
            deadline = time.monotonic() + 10
            while child.isalive() and time.monotonic() < deadline:
                time.sleep(0.01)
            child.ptyproc.delayafterclose = 0
            child.close(force=True)
        shutil.rmtree(self.tmpdir, ignore_errors=True)
