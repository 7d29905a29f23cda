"""The main job in a sandbox: what a hosting administrator would see.

Lays out a panel installation in a throw-away sandbox, gives the local
MariaDB server two sample databases, starts the stand-in Ovix Server with
the server's answers, schedules a backup for this minute and starts the real
daemon in the foreground (log switch). Then it shows the backup set and the
daemon log. Nothing of this machine is touched but the two sample databases
and an administrator account on the MariaDB server, which are dropped again.
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "system"))

from backuprun import CONF_FILE, INS, scheduled_run, set_root  # noqa: E402
from mariadb import TEST_PREFIX, MariaDB  # noqa: E402
from sandbox import Sandbox  # noqa: E402

DATABASES = [TEST_PREFIX + "demo_shop", TEST_PREFIX + "demo_blog"]
SETTINGS = [("BackupWebserver", "no"), ("BackupMailServer", "no"), ("BackupDNSServer", "no"),
            ("BackupDatabaseServer", "yes"), ("BackupType", "local"),
            ("BackupLocation", "/usr/local/OvixBackup/"), ("PurgeTime", "07")]


def show(title, text):
    print(f"\n== {title}")
    print(text, end="" if text.endswith("\n") else "\n")


def describe_tree(sb, root):
    lines = [f"{oct(sb.stat(root).mode)[2:]} root {root}/"]
    for path, node in sorted(sb.tree(root).items()):
        size = "" if node.data is None else f" ({len(node.data)} bytes)"
        suffix = "/" if node.kind == "dir" else ""
        lines.append(f"{oct(node.mode)[2:]} uid {node.uid}  {path}{suffix}{size}")
    return "\n".join(lines)


def main():
    daemon = Path(sys.argv[1]) / "bin" / "ovixbackup"
    db = MariaDB()
    db.create_admin()
    try:
        for name in DATABASES:
            db.drop_database(name)
            db.create_sample_database(name)
        with Sandbox() as sb:
            sb.write_panel_conf(insfolder=INS, WebSpace="/home/www")
            sb.write_hosts_allow(["# Ovix Server", "127.0.0.1", "127.0.0.2"])
            for script in ("mysqld", "mysql", "mariadb"):
                sb.add_init_script(script)
            sb.start_mysql_relay()
            sb.start_ovix_server({"GetServerDatabases": {"entries": [
                ["DBServerInstance", f"localhost,3306,{db.user},{db.password}"],
                ["Databases", ",".join(f"{name}:{name}_user" for name in DATABASES)]]}})

            show("/etc/Ovix.conf (sandbox)", sb.read_file("/etc/Ovix.conf").decode())
            run = scheduled_run(sb, daemon, SETTINGS)
            show("backup configuration " + CONF_FILE, sb.read_file(CONF_FILE).decode())
            show("ovixbackup start (foreground, log switch on)", run.output)
            show("daemon log " + INS + "/log/ovixbackup.log", "\n".join(run.log))
            root = set_root()
            show("backup set", describe_tree(sb, root))
            dump = sb.read_file(f"{root}/db/data/{DATABASES[0]}").decode(errors="replace")
            show(f"first lines of db/data/{DATABASES[0]}", "\n".join(dump.splitlines()[:12]))
            show("service script calls", repr(sb.init_calls("mysqld")))
    finally:
        for name in DATABASES:
            db.drop_database(name)
        db.drop_admin()
    print("\n== sandbox closed; this machine is unchanged")


if __name__ == "__main__":
    main()
