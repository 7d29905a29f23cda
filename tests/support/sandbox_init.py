"""Init process of a test sandbox (pid 1 of its own pid namespace).

Started by tests/system/sandbox.py through
``unshare --mount --net --pid --uts --ipc --kill-child=SIGKILL --fork``
with one argument: an empty host folder it may mount its layers on.

It builds the sandbox root (see the docstring of sandbox.py), pivots into it,
prints ``READY <host pid>`` on stdout and then only reaps orphans until it is
killed.  Killing it ends the pid namespace, which kills every process that was
started inside, and drops the last reference to the mounts.  On failure it
prints ``ERROR <text>`` and exits non-zero.
"""

import ctypes
import ctypes.util
import fcntl
import os
import platform
import signal
import socket
import stat
import struct
import subprocess
import sys

MS_RDONLY = 0x1
MS_NOSUID = 0x2
MS_NODEV = 0x4
MS_NOEXEC = 0x8
MS_REMOUNT = 0x20
MS_BIND = 0x1000
MS_REC = 0x4000
MNT_DETACH = 0x2

# Kernel file systems that are shared with the host through bind mounts
# rather than laid over: nothing a program writes there is a file on disk.
SHARED_TREES = ("/proc", "/sys", "/dev", "/run")

# /run stays the host's: the test MariaDB server keeps its socket there.
HARNESS_DIR = "/.sandbox"

libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
libc.mount.argtypes = (ctypes.c_char_p, ctypes.c_char_p, ctypes.c_char_p,
                       ctypes.c_ulong, ctypes.c_char_p)
libc.umount2.argtypes = (ctypes.c_char_p, ctypes.c_int)


def _enc(s):
    return None if s is None else os.fsencode(s)


def mount(source, target, fstype=None, flags=0, data=None):
    if libc.mount(_enc(source), _enc(target), _enc(fstype), flags, _enc(data)) != 0:
        err = ctypes.get_errno()
        raise OSError(err, f"mount {fstype or ''} {source} on {target} "
                           f"({data or ''}): {os.strerror(err)}")


def bind(source, target, recursive=False, readonly=False):
    mount(source, target, None, MS_BIND | (MS_REC if recursive else 0))
    if readonly:
        mount(None, target, None, MS_REMOUNT | MS_BIND | MS_RDONLY)


def pivot_root_here():
    """pivot_root(".", ".") then detach the old root stacked on top of it."""
    numbers = {"x86_64": 155, "aarch64": 41, "riscv64": 41}
    nr = numbers.get(platform.machine())
    if nr is not None:
        if libc.syscall(nr, b".", b".") != 0:
            err = ctypes.get_errno()
            raise OSError(err, "pivot_root: " + os.strerror(err))
    else:
        subprocess.run(["pivot_root", ".", "."], check=True)
    if libc.umount2(b".", MNT_DETACH) != 0:
        err = ctypes.get_errno()
        raise OSError(err, "detaching old root: " + os.strerror(err))
    os.chdir("/")


def unescape(field):
    """Mount points in mountinfo have space, tab, newline, backslash octal-escaped."""
    out, i = bytearray(), 0
    raw = os.fsencode(field)
    while i < len(raw):
        if raw[i:i + 1] == b"\\" and raw[i + 1:i + 4].isdigit():
            out.append(int(raw[i + 1:i + 4], 8))
            i += 4
        else:
            out.append(raw[i])
            i += 1
    return os.fsdecode(bytes(out))


def host_mounts():
    """(mount point, fs type, read-only) of the copied host mounts, parents first.

    Only the top mount of a stacked mount point matters, since that is what a
    path lookup (and so the lower layer) sees.
    """
    found = {}
    with open("/proc/self/mountinfo") as f:
        for line in f:
            fields = line.split()
            sep = fields.index("-")
            point = unescape(fields[4])
            found.pop(point, None)
            found[point] = (fields[sep + 1], "ro" in fields[5].split(","))
    mounts = [(p, t, ro) for p, (t, ro) in found.items()]
    mounts.sort(key=lambda m: 0 if m[0] == "/" else m[0].count("/"))
    return mounts


def under(path, tree):
    return path == tree or path.startswith(tree.rstrip("/") + "/")


def escape_layer(path):
    # overlayfs splits its options on "," and lower dirs on ":".
    return path.replace("\\", "\\\\").replace(",", "\\,").replace(":", "\\:")


class Layers:
    """Private upper and work dirs for the overlays, all on one tmpfs."""

    def __init__(self, base):
        self.base = base
        self.count = 0
        mount("ovix-sandbox", base, "tmpfs", 0, "mode=0700")

    def overlay(self, lower, target):
        self.count += 1
        upper = f"{self.base}/upper{self.count}"
        work = f"{self.base}/work{self.count}"
        os.mkdir(upper)
        os.mkdir(work)
        st = os.stat(lower)
        os.chown(upper, st.st_uid, st.st_gid)
        os.chmod(upper, stat.S_IMODE(st.st_mode))
        base = (f"lowerdir={escape_layer(lower)},upperdir={escape_layer(upper)},"
                f"workdir={escape_layer(work)}")
        # redirect_dir lets rename(2) move folders that came from the host
        # like on a plain file system (instead of failing with EXDEV), and
        # xino gives every file the same st_dev, as on one real file system.
        # Older kernels may refuse either option; they are only fidelity.
        for extra in (",redirect_dir=on,xino=on", ",redirect_dir=on", ""):
            try:
                mount("overlay", target, "overlay", 0, base + extra)
                return
            except OSError as exc:
                last = exc
        raise last


def copy_file(src, dst):
    """Host files bind-mounted over single files (container-managed /etc/hosts,
    /etc/resolv.conf ...) are not in the lower layer; give the sandbox a copy."""
    st = os.stat(src)
    with open(src, "rb") as f:
        data = f.read()
    if os.path.lexists(dst) and not os.path.isfile(dst):
        return
    with open(dst, "wb") as f:
        f.write(data)
    os.chown(dst, st.st_uid, st.st_gid)
    os.chmod(dst, stat.S_IMODE(st.st_mode))


def build_root(base):
    mounts = host_mounts()
    layers = Layers(base)
    new_root = f"{base}/root"
    os.mkdir(new_root)
    layers.overlay("/", new_root)

    for point, fstype, readonly in mounts:
        if point == "/" or any(under(point, t) for t in SHARED_TREES):
            continue
        target = new_root + point
        if not os.path.isdir(point):
            copy_file(point, target)
        elif readonly:
            # The host cannot write there either; no need for a private layer.
            bind(point, target, readonly=True)
        else:
            try:
                layers.overlay(point, target)
            except OSError:
                # Unusual lower file system: visible but not writable is
                # still safe for the host.
                bind(point, target, readonly=True)

    mount("proc", new_root + "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC)
    # Global kernel knobs are reachable through a new /proc as well.
    for knob in ("/proc/sys", "/proc/sysrq-trigger"):
        if os.path.exists(new_root + knob):
            bind(new_root + knob, new_root + knob, readonly=True)
    bind("/dev", new_root + "/dev", recursive=True)
    if os.path.isdir(new_root + "/dev/shm"):
        mount("shm", new_root + "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777")
    bind("/sys", new_root + "/sys", recursive=True)
    mount(None, new_root + "/sys", None, MS_REMOUNT | MS_BIND | MS_RDONLY)
    bind("/run", new_root + "/run", recursive=True)
    return new_root


def fix_hosts(root):
    """Name resolution of localhost must give both loopback addresses."""
    path = root + "/etc/hosts"
    try:
        with open(path) as f:
            text = f.read()
    except FileNotFoundError:
        text = ""
    names = {}
    for line in text.splitlines():
        fields = line.split("#", 1)[0].split()
        if fields:
            names.setdefault(fields[0], set()).update(fields[1:])
    add = []
    if "localhost" not in names.get("127.0.0.1", ()):
        add.append("127.0.0.1\tlocalhost")
    if "localhost" not in names.get("::1", ()):
        add.append("::1\tlocalhost ip6-localhost ip6-loopback")
    if add:
        if text and not text.endswith("\n"):
            text += "\n"
        with open(path, "w") as f:
            f.write(text + "\n".join(add) + "\n")


def loopback_up():
    SIOCGIFFLAGS, SIOCSIFFLAGS, IFF_UP = 0x8913, 0x8914, 0x1
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        req = struct.pack("16sH22x", b"lo", 0)
        flags = struct.unpack("16sH22x", fcntl.ioctl(s, SIOCGIFFLAGS, req))[1]
        fcntl.ioctl(s, SIOCSIFFLAGS, struct.pack("16sH22x", b"lo", flags | IFF_UP))


def reap_forever():
    # pid 1 inherits every orphan, e.g. the child that daemon(3) leaves behind.
    signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGCHLD})
    while True:
        signal.sigwait({signal.SIGCHLD})
        while True:
            try:
                pid, _ = os.waitpid(-1, os.WNOHANG)
            except ChildProcessError:
                break
            if pid == 0:
                break


def main():
    base = sys.argv[1]
    try:
        # Still the host's /proc here, so "self" is our pid as the host sees it.
        host_pid = int(os.readlink("/proc/self"))
        root = build_root(base)
        os.chdir(root)
        pivot_root_here()
        loopback_up()
        fix_hosts("")
        os.makedirs(HARNESS_DIR, mode=0o700, exist_ok=True)
    except Exception as exc:  # reported to the harness, which raises it
        print(f"ERROR {type(exc).__name__}: {exc}", flush=True)
        sys.exit(1)
    print(f"READY {host_pid}", flush=True)
    devnull = os.open(os.devnull, os.O_RDWR)
    for fd in (0, 1, 2):
        os.dup2(devnull, fd)
    reap_forever()


if __name__ == "__main__":
    main()
