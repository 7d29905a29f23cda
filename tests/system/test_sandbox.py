import os
import subprocess

import pexpect
import pytest

from sandbox import Node, Sandbox, Stat

WATCHED_FILES = ("/etc/passwd", "/etc/shadow", "/etc/group", "/etc/gshadow", "/etc/hosts",
                 "/var/log/lastlog", "/var/log/faillog")
WATCHED_TREES = ("/etc", "/usr/local", "/var/spool", "/var/mail", "/home")
PROBE = f"ovix-probe-{os.getpid()}"
# Places a program run in the sandbox writes to below; none may appear on the host.
PROBES = ("/etc/Ovix.conf", "/usr/local/ovix", "/home/ovixprobe", "/var/spool/vmail",
          "/var/named/" + PROBE, "/tmp/" + PROBE, "/root/" + PROBE, "/" + PROBE)


def host_snapshot():
    files = {}
    for path in WATCHED_FILES:
        if os.path.exists(path):
            with open(path, "rb") as f:
                files[path] = f.read()
    listing = {}
    for top in WATCHED_TREES:
        for folder, dirs, names in os.walk(top):
            for name in dirs + names:
                st = os.lstat(os.path.join(folder, name))
                listing[os.path.join(folder, name)] = (st.st_mode, st.st_uid, st.st_gid,
                                                       st.st_size, st.st_mtime_ns)
    return files, listing


def processes_in(pidns):
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink(f"/proc/{pid}/ns/pid") == pidns:
                found.append(int(pid))
        except OSError:
            pass
    return found


def test_changes_stay_inside(sandbox):
    assert not any(os.path.lexists(p) for p in PROBES), "host already has a probe path"
    before = host_snapshot()

    script = r"""
        set -e
        umask 022
        useradd -m -s /bin/sh ovixprobe
        mkdir -p /usr/local/ovix/etc /var/spool/vmail /var/named
        printf 'InsFolder = "/usr/local/ovix"\n' > /etc/Ovix.conf
        chmod 600 /etc/Ovix.conf
        echo 127.0.0.1 > /usr/local/ovix/etc/hosts.allow
        chown ovixprobe:ovixprobe /usr/local/ovix/etc/hosts.allow
        chmod 640 /usr/local/ovix/etc/hosts.allow
        ln -s etc/hosts.allow /usr/local/ovix/allow
        for d in /var/named /tmp /root ''; do touch "$d/$1"; done
        getent passwd ovixprobe | cut -d: -f3,4
        getent shadow ovixprobe | cut -d: -f1
    """
    result = sandbox.run(["sh", "-c", script, "sh", PROBE])
    assert result.returncode == 0, result.stderr.decode()
    ids, shadow_name = result.stdout.decode().split()
    uid, gid = map(int, ids.split(":"))
    assert uid != 0 and shadow_name == "ovixprobe"

    assert sandbox.tree("/usr/local/ovix") == {
        "allow": Node("link", 0o777, 0, 0, b"etc/hosts.allow"),
        "etc": Node("dir", 0o755, 0, 0, None),
        "etc/hosts.allow": Node("file", 0o640, uid, gid, b"127.0.0.1\n"),
    }
    conf = b'InsFolder = "/usr/local/ovix"\n'
    assert sandbox.read_file("/etc/Ovix.conf") == conf
    assert sandbox.stat("/etc/Ovix.conf") == Stat("file", 0o600, 0, 0, len(conf))
    home = sandbox.stat("/home/ovixprobe")
    assert (home.kind, home.uid, home.gid) == ("dir", uid, gid)
    assert all(sandbox.exists(p) for p in PROBES)

    pid, tmpdir = sandbox.pid, sandbox.tmpdir
    sandbox.close()
    assert host_snapshot() == before
    assert not [p for p in PROBES if os.path.lexists(p)]
    assert not os.path.exists(tmpdir)
    assert not os.path.exists(f"/proc/{pid}")


def test_processes_die_with_the_sandbox(sandbox):
    # Detached the way daemon(3) does it: new session, parent gone.
    detach = "setsid -f sleep 1000 </dev/null >/dev/null 2>&1; until pgrep -fx 'sleep 1000'; do :; done"
    assert sandbox.run(["sh", "-c", detach]).returncode == 0
    listing = sandbox.run(["ps", "-e", "-o", "pid=,comm="]).stdout.decode().split()
    seen = dict(zip(listing[1::2], map(int, listing[0::2])))
    assert seen == {"python3": 1, "sleep": seen["sleep"], "ps": seen["ps"]}

    pidns = sandbox.pidns
    assert len(processes_in(pidns)) >= 2
    sandbox.close()
    assert processes_in(pidns) == []


def test_signals_reach_the_program(sandbox):
    proc = sandbox.popen(["sh", "-c", "trap 'exit 7' TERM; echo ready; while :; do sleep 0.1; done"])
    assert proc.stdout.readline() == b"ready\n"
    proc.terminate()
    assert proc.wait(timeout=10) == 7


def test_run_timeout_kills_the_program(sandbox):
    with pytest.raises(subprocess.TimeoutExpired):
        sandbox.run(["sh", "-c", "sleep 1000; sleep 1000"], timeout=0.5)
    assert sandbox.run(["pgrep", "-x", "sleep"]).returncode == 1


def test_run_environment_input_and_status(sandbox):
    script = 'echo "$PATH|$HOME|${LANG-unset}|$EXTRA|$(pwd)"; cat; exit 3'
    result = sandbox.run(["sh", "-c", script], input="from stdin", env={"EXTRA": 1, "LANG": None},
                         cwd="/var/log")
    assert result.returncode == 3
    assert result.stdout == (b"/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
                             b"|/root|unset|1|/var/log\nfrom stdin")


def test_spawn_gives_a_terminal(sandbox):
    child = sandbox.spawn(["sh", "-c", 'test -t 0 && printf "Password: " && read -r p && echo "got $p"'])
    child.expect_exact("Password: ")
    child.sendline("s3cret")
    child.expect_exact("got s3cret")
    child.expect(pexpect.EOF)
    child.wait()
    assert child.exitstatus == 0


@pytest.mark.parametrize("path, mode, uid, gid", [
    ("/etc/Ovix.conf", 0o600, 0, 0),
    ("/var/spool/vmail/example.com/info/Maildir/new/1", 0o640, 5000, 8),
    ("/home/site/bin/helper", 0o4755, 1000, 1000),
    ("/usr/local/OvixBackup/new folder/a\nb", 0o644, 0, 0),
])
def test_write_file_as_programs_see_it(sandbox, path, mode, uid, gid):
    sandbox.write_file(path, "content\n", mode=mode, uid=uid, gid=gid)
    parent = sandbox.run(["stat", "-c", "%a %u %g", "--", os.path.dirname(path)]).stdout
    assert parent == b"755 0 0\n"
    result = sandbox.run(["sh", "-c", 'stat -c "%a %u %g" -- "$0" && cat -- "$0"', path])
    assert result.stdout.decode() == f"{mode:o} {uid} {gid}\ncontent\n"
    assert sandbox.stat(path) == Stat("file", mode, uid, gid, 8)
    assert not os.path.lexists(path)


@pytest.mark.parametrize("link, target", [
    ("/etc/ovix-link", "/etc/ovix-target"),
    ("/usr/local/ovix-up", "../../../../../etc/ovix-target"),
    ("/usr/local/ovix-dir/ovix-target", None),  # ovix-dir -> /etc
])
def test_links_resolve_inside_the_sandbox(sandbox, link, target):
    setup = "ln -s /etc /usr/local/ovix-dir" if target is None else f"ln -s {target} {link}"
    assert sandbox.run(["sh", "-c", setup]).returncode == 0
    sandbox.write_file(link, "inside\n")
    assert sandbox.run(["cat", "/etc/ovix-target"]).stdout == b"inside\n"
    assert sandbox.read_file(link) == b"inside\n"
    assert sandbox.path(link) == sandbox.root + "/etc/ovix-target"
    assert not os.path.lexists("/etc/ovix-target")


def test_panel_files_and_init_scripts(sandbox):
    sandbox.write_panel_conf(insfolder="/opt/ovix", OvixUser="ovix", DbPass="se cret")
    assert sandbox.read_file("/etc/Ovix.conf") == (
        b'InsFolder = "/opt/ovix"\nOvixUser = "ovix"\nDbPass = "se cret"\n')
    sandbox.write_hosts_allow(["10.0.0.1", "::1"])
    assert sandbox.read_file("/opt/ovix/etc/hosts.allow") == b"10.0.0.1\n::1\n"

    sandbox.add_init_script("named")
    sandbox.add_init_script("mysql", status=1)
    calls = [["restart"], ["a b", "line\nbreak", ""], []]
    for args in calls:
        assert sandbox.run(["/etc/init.d/named"] + args).returncode == 0
    assert sandbox.run(["/etc/init.d/mysql", "start"]).returncode == 1
    assert sandbox.init_calls("named") == calls
    assert sandbox.init_calls("mysql") == [["start"]]
    assert sandbox.init_calls("apache2") == []


@pytest.mark.parametrize("host", ["127.0.0.1", "::1", "localhost"])
def test_each_sandbox_has_its_own_loopback(sandbox, ask_ovix, host):
    with Sandbox() as other:
        for sb, name in ((sandbox, "first"), (other, "second")):
            sb.start_ovix_server({"Who": {"entries": [["name", name]]}})
        for sb, name in ((sandbox, "first"), (other, "second")):
            assert f"[{name}]]" in ask_ovix(sb, "Who", host=host)["answer"]
            links = sb.run(["ip", "-o", "link", "show"]).stdout.decode().splitlines()
            assert [l.split(":")[1].strip() for l in links] == ["lo"]
