"""The main job in a sandbox: what a hosting administrator would see.

Lays out a panel installation in a throw-away sandbox, starts the stand-in
Ovix Server with sample answers, schedules a backup for this minute and
starts the real daemon in the foreground (log switch), then shows the
daemon log. Nothing of this machine is touched.
"""

import datetime
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "system"))

from sandbox import Sandbox  # noqa: E402

INS = "/usr/local/ovix"
SAMPLE_ANSWERS = {
    "GetServerRoles": {"entries": [["WebServer", "no"], ["MailServer", "no"],
                                   ["DNSServer", "no"], ["DatabaseServer", "yes"]]},
    "GetServerDatabases": {"entries": [["DBServerInstance", "localhost,3306,root,secret"],
                                       ["Databases", "shop,blog"]]},
}


def param(name, value):
    return f'<parameter name="{name}"><![CDATA[{value}]]></parameter>'


def config_line(at):
    return ("<command><Action><![CDATA[BackupOvix]]></Action>" + param("BackupWebserver", "no")
            + param("BackupMailServer", "no") + param("BackupDNSServer", "no")
            + param("BackupDatabaseServer", "yes") + param("BackupType", "local")
            + param("BackupLocation", "/usr/local/OvixBackup/")
            + param("BackupScheduleType", "daily") + param("BackupTime", at.strftime("%H:%M"))
            + "</command>\n")


def show(title, text):
    print(f"== {title}")
    print(text, end="" if text.endswith("\n") else "\n")


def main():
    bindir = Path(sys.argv[1]) / "bin"
    with Sandbox() as sb:
        sb.write_panel_conf(insfolder=INS, WebSpace="/home/www")
        sb.write_hosts_allow(["# Ovix Server", "127.0.0.1", "localhost"])
        sb.write_file(INS + "/etc/enablekestrunlog", "")
        sb.start_ovix_server(SAMPLE_ANSWERS)
        if datetime.datetime.now().second >= 50:  # leave the daemon time to see this minute
            time.sleep(61 - datetime.datetime.now().second)
        sb.write_file(INS + "/etc/ovixbackup.conf", config_line(datetime.datetime.now()))
        show("/etc/Ovix.conf (sandbox)", sb.read_file("/etc/Ovix.conf").decode())
        show("backup configuration", sb.read_file(INS + "/etc/ovixbackup.conf").decode())

        sb.write_file("/.sandbox/daemon.out", "")
        with open(sb.path("/.sandbox/daemon.out"), "wb") as out:
            daemon = sb.popen([str(bindir / "ovixbackup"), "start"], stdout=out)
        log = INS + "/log/ovixbackup.log"
        deadline = time.monotonic() + 30
        while not sb.exists(log) and time.monotonic() < deadline:
            time.sleep(0.2)
        time.sleep(1)
        show("ovixbackup start (foreground, log switch on)",
             sb.read_file("/.sandbox/daemon.out").decode())
        show("daemon log " + log, sb.read_file(log).decode() if sb.exists(log) else "(none)\n")
        show("ovixbackup stop", sb.run([str(bindir / "ovixbackup"), "stop"]).stdout.decode()
             or "(stopped)\n")
        daemon.wait(timeout=10)
    print("== sandbox closed; this machine is unchanged")


if __name__ == "__main__":
    main()
