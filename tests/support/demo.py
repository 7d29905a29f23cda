"""The main job in a sandbox: what a hosting administrator would see.

Lays out a panel installation in a throw-away sandbox, gives the local
MariaDB server two sample databases, starts the stand-in Ovix Server with
the server's answers, schedules a backup for this minute and starts the real
daemon in the foreground (log switch). Then it shows the backup set and the
daemon log.

Then the server is "reinstalled": the databases and their users are dropped,
the backup set is copied into a fresh sandbox, and ovixrestore rebuilds the
databases there through its dialogue. The demo checks every table against
its checksum from before the backup and logs each database user in.

Nothing of this machine is touched but the two sample databases, their users
and an administrator account on the MariaDB server, which are dropped again.
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "system"))

from backuprun import CONF_FILE, INS, scheduled_run, set_root  # noqa: E402
from mariadb import TEST_PREFIX, MariaDB  # noqa: E402
from restorerun import copy_tree, databases_answer, restore, roles_answer  # noqa: E402
from sandbox import Sandbox  # noqa: E402

DATABASES = [TEST_PREFIX + "demo_shop", TEST_PREFIX + "demo_blog"]
LISTED = [f"{name}:{name}_user" for name in DATABASES]
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


def install_panel(sb, answers):
    """A managed server: the panel's files, stub service scripts, the
    database server on loopback and the stand-in Ovix Server."""
    sb.write_panel_conf(insfolder=INS, WebSpace="/home/www")
    sb.write_hosts_allow(["# Ovix Server", "127.0.0.1", "127.0.0.2"])
    for script in ("mysqld", "mysql", "mariadb"):
        sb.add_init_script(script)
    sb.start_mysql_relay()
    sb.start_ovix_server(answers)


def can_log_in(sb, user, database):
    result = sb.run(["mysql", "-h", "127.0.0.1", "--port=3306", "-u", user, "-N", "-e",
                     f"SELECT COUNT(*) FROM `{database}`.customers"], env={"MYSQL_PWD": user})
    return result.returncode == 0


def rebuild(db, root, set_source, bindir, before):
    """The reinstalled server: a fresh sandbox with the set copied over."""
    for name in DATABASES:
        db.drop_database(name)
        db.drop_users(name + "_user")
    with Sandbox() as sb:
        install_panel(sb, {"GetServerRoles": roles_answer(),
                           "GetServerDatabases": databases_answer(db, LISTED)})
        copy_tree(set_source, sb, root)
        status, printed = restore(sb, lambda name: bindir / name, root)
        show(f"ovixrestore (exit status {status}), after the last answer", printed)
        checks = []
        for name in DATABASES:
            same = db.checksums(name) == before[name]
            checks.append(f"{'ok  ' if same else 'FAIL'} {name}: "
                          f"{len(before[name])} tables, checksums as before the backup")
            user_ok = can_log_in(sb, name + "_user", name)
            checks.append(f"{'ok  ' if user_ok else 'FAIL'} {name}_user logs in with its name "
                          "as password")
        show("verified after the restore", "\n".join(checks))


def main():
    bindir = Path(sys.argv[1]) / "bin"
    daemon = bindir / "ovixbackup"
    db = MariaDB()
    db.create_admin()
    try:
        for name in DATABASES:
            db.drop_database(name)
            db.create_sample_database(name)
        before = {name: db.checksums(name) for name in DATABASES}
        with Sandbox() as sb:
            install_panel(sb, {"GetServerDatabases": databases_answer(db, LISTED)})

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
            rebuild(db, root, sb, bindir, before)
    finally:
        for name in DATABASES:
            db.drop_database(name)
            db.drop_users(name + "_user")
        db.drop_admin()
    print("\n== sandbox closed; this machine is unchanged")


if __name__ == "__main__":
    main()
