"""Running the real backup daemon for one scheduled run inside a sandbox.

The daemon checks its schedule as soon as it starts, so a configuration due
in the current minute starts a run at once; after the run it sleeps. A run
is over when the daemon is back in that sleep (its wait channel is the
kernel's nanosleep) and it has logged the run's header or given up.
"""

import datetime
import time

INS = "/usr/local/ovix"
CONF_FILE = INS + "/etc/ovixbackup.conf"
LOG_FILE = INS + "/log/ovixbackup.log"
PID_FILE = INS + "/ovixbackup.pid"
LOG_SWITCH = "/usr/local/ovix/etc/enablekestrunlog"
DEFAULT_LOCATION = "/usr/local/OvixBackup"


def param(name, value):
    return f'<parameter name="{name}"><![CDATA[{value}]]></parameter>'


def config_line(settings, schedule_time):
    """The backup configuration line as the wizard writes it: settings is a
    list of (name, value) pairs, then a daily schedule at schedule_time."""
    return ("<command><Action><![CDATA[BackupOvix]]></Action>"
            + "".join(param(n, v) for n, v in settings)
            + param("BackupScheduleType", "daily") + param("BackupTime", schedule_time)
            + "</command>\n")


def stamp(day=None):
    day = day or datetime.date.today()
    return f"{day.day}-{day.month}-{day.year % 100:02d}"


def set_root(location=DEFAULT_LOCATION, day=None):
    return f"{location}/OvixBackup-{stamp(day)}"


def header(day=None):
    return f"-------------Starting backup at {stamp(day)}------------------"


def _wait_for(condition, timeout, what):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.1)


def _sleeping(sb, pid):
    try:
        return sb.read_file(f"/proc/{pid}/wchan") == b"hrtimer_nanosleep"
    except OSError:
        return False


def _log_lines(sb):
    """The daemon log cut at line feeds only: logged texts may hold "\r"."""
    if not sb.exists(LOG_FILE):
        return []
    text = sb.read_file(LOG_FILE).decode(errors="replace")
    return text.split("\n")[:-1] if text else []


class RunResult:
    def __init__(self, output, log):
        self.output = output  # what the daemon printed (foreground only)
        self.log = log        # daemon log lines written by this run

    def __repr__(self):
        return f"RunResult(output={self.output!r}, log={self.log!r})"


def scheduled_run(sb, daemon, settings, env=None, timeout=120):
    """Writes a configuration due now, starts the daemon in the foreground
    with the log switch, waits for the end of its first run, stops it and
    returns what the run printed and logged."""
    if datetime.datetime.now().second >= 56:  # leave the first wake-up this minute
        time.sleep(61 - datetime.datetime.now().second)
    now = datetime.datetime.now()
    sb.write_file(CONF_FILE, config_line(settings, now.strftime("%H:%M")))
    sb.write_file(LOG_SWITCH, "")
    log_before = _log_lines(sb)
    out_file = "/.sandbox/daemon.out"
    sb.write_file(out_file, "")
    with open(sb.path(out_file), "wb") as out:
        proc = sb.popen([str(daemon), "start"], stdout=out, env=env)
    try:
        _wait_for(lambda: sb.exists(PID_FILE) and sb.read_file(PID_FILE).strip().isdigit(),
                  20, "the pid file")
        pid = int(sb.read_file(PID_FILE))
        _wait_for(lambda: _sleeping(sb, pid), timeout, "the end of the run")
    finally:
        sb.run([str(daemon), "stop"])
        proc.wait(timeout=20)
        sb.run(["rm", "-f", LOG_SWITCH])
    log = _log_lines(sb)
    return RunResult(sb.read_file(out_file).decode(errors="replace"), log[len(log_before):])
