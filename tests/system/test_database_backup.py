"""Database dumps of a scheduled run against the real MariaDB server:
the round trip, the set's layout, hostile names and passwords, and a failed
dump that must not replace a good one."""

import os
import subprocess

import pytest

from backuprun import DEFAULT_LOCATION, header, scheduled_run, set_root


@pytest.fixture
def mysql_sandbox(mysql_sandbox):
    mysql_sandbox.write_hosts_allow(["127.0.0.2"])
    return mysql_sandbox


def roles():
    return [("BackupWebserver", "no"), ("BackupMailServer", "no"), ("BackupDNSServer", "no"),
            ("BackupDatabaseServer", "yes"), ("BackupType", "local")]


def instance(mariadb, host="localhost", password=None):
    secret = mariadb.password if password is None else password
    return f"{host},3306,{mariadb.user},{secret}"


def load_dump(mariadb, database, dump):
    """Loads a dump into a fresh database of the same name, as a restore
    does: the dump selects its database by name. Dumps are utf8mb4 text."""
    mariadb.drop_database(database)
    mariadb.run_sql(f"CREATE DATABASE `{database}`")
    with open(dump, "rb") as f:
        subprocess.run(["mysql", "--socket", mariadb.socket_path,
                        "--default-character-set=utf8mb4"], stdin=f, check=True)


def dump_files(sb, root):
    return {name: node for name, node in sb.tree(root + "/db/data").items()}


@pytest.mark.parametrize("location, folder", [
    (None, DEFAULT_LOCATION), ("/srv/backups/", "/srv/backups"), ("/srv/backups", "/srv/backups"),
])
def test_round_trip(mysql_sandbox, mariadb, db_prefix, program, location, folder):
    sb = mysql_sandbox
    shop, blog = db_prefix + "shop", db_prefix + "blog"
    for name in (shop, blog):
        mariadb.create_sample_database(name)
    before = {name: mariadb.checksums(name) for name in (shop, blog)}
    sb.start_ovix_server({"GetServerDatabases": {"entries": [
        ["DBServerInstance", instance(mariadb)], ["Databases", f"{shop}:{shop}_user,{blog}"]]}})
    settings = roles() + ([("BackupLocation", location)] if location else [])

    run = scheduled_run(sb, program("ovixbackup"), settings)

    assert run.log == [header(), "Backingup Database Server"]
    assert sb.init_calls("mysqld") == [["start"]]
    root = set_root(folder)
    tree = sb.tree(root)
    assert {path: (n.kind, n.mode, n.uid, n.gid) for path, n in tree.items()
            if n.kind == "dir"} == {"db": ("dir", 0o744, 0, 0), "db/data": ("dir", 0o744, 0, 0)}
    assert sorted(dump_files(sb, root)) == sorted([shop, blog])
    root_stat = sb.stat(root)
    assert (root_stat.mode, root_stat.uid, root_stat.gid) == (0o744, 0, 0)
    for name in (shop, blog):
        load_dump(mariadb, name, sb.path(f"{root}/db/data/{name}"))
        assert mariadb.checksums(name) == before[name]
        assert mariadb.tables(name, kind="VIEW"), "the view is dumped too"
    assert not os.path.exists("/tmp/pwned") and not sb.exists("/tmp/pwned")


def test_two_instances_and_hostile_names(mysql_sandbox, mariadb, db_prefix, program):
    sb = mysql_sandbox
    odd = db_prefix + "q; touch $(id) `x` 'y"
    dash = "-" + db_prefix + "dash"
    plain = db_prefix + "plain"
    try:
        for name in (odd, dash, plain):
            mariadb.create_sample_database(name)
        sb.start_ovix_server({"GetServerDatabases": {"entries": [
            ["DBServerInstance", instance(mariadb)],
            ["DBServerInstance", instance(mariadb, host="127.0.0.1")],
            ["Databases", f"{odd}:u1,{dash},../../etc/passwd:u2,a/b,{plain}"],
            ["Databases", plain]]}})
        run = scheduled_run(sb, program("ovixbackup"), roles())
    finally:
        mariadb.drop_database(dash)

    assert run.log == [header(), "Backingup Database Server",
                       "Cannot backup database ../../etc/passwd:u2", "Cannot backup database a/b"]
    assert "Cannot backup database a/b\n" in run.output
    assert sorted(dump_files(sb, set_root())) == sorted([odd, dash, plain])
    assert sb.init_calls("mysqld") == [["start"], ["start"]]
    assert not os.path.exists("/tmp/pwned") and not sb.exists("/tmp/pwned")
    assert sb.read_file("/etc/passwd") == open("/etc/passwd", "rb").read()


def test_failed_dump_keeps_the_earlier_one(mysql_sandbox, mariadb, db_prefix, program):
    sb = mysql_sandbox
    shop = db_prefix + "shop"
    mariadb.create_sample_database(shop)
    answers = [{"entries": [["DBServerInstance", instance(mariadb)], ["Databases", shop]]},
               {"entries": [["DBServerInstance", instance(mariadb, password="wrong")],
                            ["Databases", shop + ",missing_" + db_prefix]]}]
    sb.start_ovix_server({"GetServerDatabases": answers})
    dump = f"{set_root()}/db/data/{shop}"

    first = scheduled_run(sb, program("ovixbackup"), roles())
    assert first.log == [header(), "Backingup Database Server"]
    good = sb.read_file(dump)
    assert b"INSERT INTO" in good

    # The second run of the day writes into the same set and fails.
    second = scheduled_run(sb, program("ovixbackup"), roles())
    assert second.log == [header(), "Backingup Database Server", "Cannot backup database " + shop,
                          "Cannot backup database missing_" + db_prefix]
    assert sb.read_file(dump) == good
    assert sorted(dump_files(sb, set_root())) == [shop], "no partial or temporary files"
