"""ovixbackup start | stop and the scheduler, run for real in the sandbox."""

import datetime
import time

import pytest

from sandbox import Sandbox

INS = "/usr/local/ovix"
PID_FILE = INS + "/ovixbackup.pid"
CONF_FILE = INS + "/etc/ovixbackup.conf"
LOG_FILE = INS + "/log/ovixbackup.log"
LOG_SWITCH = "/usr/local/ovix/etc/enablekestrunlog"


def param(name, value):
    return f'<parameter name="{name}"><![CDATA[{value}]]></parameter>'


def config_line(schedule_type, backup_time, extra=""):
    return ("<command><Action><![CDATA[BackupOvix]]></Action>" + param("BackupWebserver", "no")
            + param("BackupMailServer", "no") + param("BackupDNSServer", "no")
            + param("BackupDatabaseServer", "no") + param("BackupType", "local")
            + param("BackupLocation", "/usr/local/OvixBackup/")
            + param("BackupScheduleType", schedule_type) + param("BackupTime", backup_time)
            + extra + "</command>\n")


def header(day):
    stamp = f"{day.day}-{day.month}-{day.year % 100:02d}"
    return f"-------------Starting backup at {stamp}------------------"


def run(sb, program, *args):
    result = sb.run([str(program("ovixbackup")), *args])
    return result.returncode, result.stdout.decode()


def daemon_pids(sb):
    result = sb.run(["pgrep", "-x", "ovixbackup"])
    return sorted(int(p) for p in result.stdout.split())


def wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.2)


@pytest.mark.parametrize("args, usage", [
    ([], "{prog} {{ start | stop }}"),
    (["start", "stop"], "{prog} {{ start | stop }}"),
    (["restart"], "{prog}{{ start | stop }}"),
    ([""], "{prog}{{ start | stop }}"),
])
def test_usage(panel, program, args, usage):
    prog = str(program("ovixbackup"))
    assert run(panel, program, *args) == (0, "Usage: " + usage.format(prog=prog) + "\n")
    assert not panel.exists(PID_FILE)


def test_start_without_install_folder(sandbox, program):
    sandbox.write_panel_conf(insfolder=None, WebSpace="/home")
    assert run(sandbox, program, "start") == (0, "Cannot Find Ovix Configuration File\n")
    assert run(sandbox, program, "stop") == (0, "")
    assert daemon_pids(sandbox) == []
    # An install folder that is not there: no pid file, so no daemon either.
    sandbox.write_panel_conf(insfolder="/nonexistent")
    assert run(sandbox, program, "start") == (
        255, "Starting ovixbackup\nCannot start ovixbackup, plz try again\n")
    time.sleep(0.5)
    assert daemon_pids(sandbox) == []


def test_start_detaches_and_stop_ends_it(panel, program):
    assert run(panel, program, "stop") == (0, "ovixbackup is already in stop state\n")
    assert run(panel, program, "start") == (0, "Starting ovixbackup\n")
    pid_text = panel.read_file(PID_FILE).decode()
    assert pid_text.isdigit(), "decimal pid without a line end"
    # The pid file names the detached daemon, not the process that returned.
    assert daemon_pids(panel) == [int(pid_text)]
    stat = panel.read_file(f"/proc/{pid_text}/stat").decode().rsplit(")", 1)[1].split()
    assert stat[2] == pid_text, "the daemon leads a session of its own"

    assert run(panel, program, "START") == (1, "ovixbackup is already running\n")
    assert panel.read_file(PID_FILE).decode() == pid_text
    assert daemon_pids(panel) == [int(pid_text)]

    assert run(panel, program, "Stop") == (0, "")
    assert not panel.exists(PID_FILE)
    assert daemon_pids(panel) == []
    assert run(panel, program, "stop") == (0, "ovixbackup is already in stop state\n")


def test_stale_pid_files_and_namesakes(panel, program):
    # A process that only shares the daemon's name must survive every stop.
    panel.run(["cp", "/bin/sleep", "/usr/local/bin/ovixbackup"])
    namesake = panel.popen(["/usr/local/bin/ovixbackup", "1000"])
    wait_for(lambda: len(daemon_pids(panel)) == 1, 10, "the namesake")
    [namesake_pid] = daemon_pids(panel)

    for stale in ["999999", "1", "garbage", ""]:  # gone, not ours, unreadable, empty
        panel.write_file(PID_FILE, stale)
        assert run(panel, program, "start") == (0, "Starting ovixbackup\n"), stale
        daemon = int(panel.read_file(PID_FILE))
        assert daemon_pids(panel) == sorted([namesake_pid, daemon])
        assert run(panel, program, "stop") == (0, "")
        assert daemon_pids(panel) == [namesake_pid]
    assert namesake.poll() is None


def due_minute():
    """A schedule time in a minute the daemon can still catch, and when that
    minute ends."""
    now = datetime.datetime.now()
    target = now.replace(second=0, microsecond=0)
    if now.second >= 35:
        target += datetime.timedelta(minutes=1)
    return target, target + datetime.timedelta(minutes=1)


def test_scheduled_minute_starts_exactly_one_run(program):
    """Two daemons at once: one in the foreground with the log switch that
    first meets a broken configuration, one detached."""
    daemon = str(program("ovixbackup"))
    with Sandbox() as fg, Sandbox() as bg:
        target, minute_over = due_minute()
        due = config_line("daily", target.strftime("%H:%M"))
        for sb in (fg, bg):
            sb.write_panel_conf(insfolder=INS)
            sb.write_hosts_allow(["127.0.0.1", "::1"])
        fg.write_file(LOG_SWITCH, "")
        # A value holding "]]>" ends its CDATA early: the line is not XML.
        fg.write_file(CONF_FILE, config_line("daily", "1]]>2"))
        bg.write_file(CONF_FILE, due)

        fg.write_file("/.sandbox/daemon.out", "")
        with open(fg.path("/.sandbox/daemon.out"), "wb") as out:
            foreground = fg.popen([daemon, "start"], stdout=out)
        assert run(bg, program, "start") == (0, "Starting ovixbackup\n")

        def fg_output():
            return fg.read_file("/.sandbox/daemon.out").decode()

        wait_for(lambda: "Parse error at line 1:" in fg_output(), 20, "the broken line report")
        assert fg_output().startswith("Starting ovixbackup\n"
                                      "Backup configuration file cannot be read, skipped: ")
        assert "skipped" in fg.read_file(LOG_FILE).decode()
        fg.write_file(CONF_FILE, due)  # picked up without a restart

        while datetime.datetime.now() < minute_over + datetime.timedelta(seconds=3):
            time.sleep(1)
        expected = header(target)
        for sb in (fg, bg):
            log = sb.read_file(LOG_FILE).decode().splitlines()
            assert [line for line in log if line.startswith("-----")] == [expected]
        assert foreground.poll() is None, "the daemon goes on after a broken line"
        assert fg.read_file(PID_FILE).decode() == str(daemon_pids(fg)[0])

        for sb in (fg, bg):
            assert run(sb, program, "stop") == (0, "")
            assert daemon_pids(sb) == []
        foreground.wait(timeout=10)
