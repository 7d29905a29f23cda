"""ovixrestore driven through a pseudo-terminal against the stand-in Ovix
Server and the real MariaDB server: the dialogue and the database restore,
and the full backup-and-restore cycle."""

import pytest

from backuprun import scheduled_run, set_root
from restorerun import (FOLDER, ROLE_PROMPTS, TERMS, Dialogue, copy_tree, databases_answer,
                        restore, roles_answer)
from sandbox import Sandbox

BACKUP_ROLES = [("BackupWebserver", "no"), ("BackupMailServer", "no"), ("BackupDNSServer", "no"),
                ("BackupDatabaseServer", "yes"), ("BackupType", "local")]

@pytest.fixture
def restore_sandbox(mysql_sandbox):
    mysql_sandbox.write_hosts_allow(["127.0.0.1", "127.0.0.2"])
    return mysql_sandbox


def can_read(sb, user, password, database):
    result = sb.run(["mysql", "-h", "127.0.0.1", "--port=3306", "-u", user, "-N", "-e",
                     f"SELECT COUNT(*) FROM `{database}`.customers"], env={"MYSQL_PWD": password})
    return result.returncode == 0


def test_full_backup_and_restore_cycle(restore_sandbox, mariadb, db_prefix, program):
    backup = restore_sandbox
    shop, blog = db_prefix + "shop", db_prefix + "blog"
    shop_user, blog_user = db_prefix + "u1", db_prefix + "u2"
    listed = [f"{shop}:{shop_user}", f"{blog}:{blog_user}"]
    for name in (shop, blog):
        mariadb.create_sample_database(name)
    for user in (shop_user, blog_user):
        for host in ("%", "localhost"):
            mariadb.track_user(user, host)
    before = {name: mariadb.checksums(name) for name in (shop, blog)}
    backup.start_ovix_server({"GetServerDatabases": databases_answer(mariadb, listed)})
    scheduled_run(backup, program("ovixbackup"), BACKUP_ROLES)
    root = set_root()

    # The server is reinstalled: its databases are gone, the set is carried over.
    for name in (shop, blog):
        mariadb.drop_database(name)
    with Sandbox() as fresh:
        fresh.write_panel_conf(insfolder="/usr/local/ovix", DatabaseServiceName="/etc/init.d/mysqld")
        fresh.write_hosts_allow(["127.0.0.2"])
        for script in ("mysqld", "mysql", "mariadb"):
            fresh.add_init_script(script)
        fresh.start_mysql_relay()
        server = fresh.start_ovix_server({"GetServerRoles": roles_answer(),
                                          "GetServerDatabases": databases_answer(mariadb, listed)})
        copy_tree(backup, fresh, root)

        status, printed = restore(fresh, program, root)

        assert status == 0
        assert printed.strip().endswith("Restoring Database Server")
        assert server.actions() == ["GetServerRoles", "GetServerDatabases"]
        assert fresh.init_calls("mysqld") == [["restart"]]
        for name in (shop, blog):
            assert mariadb.checksums(name) == before[name]
            assert mariadb.tables(name, kind="VIEW") == ["customer_names"]
        # Each user logs in with its name as password and reaches its own database only.
        assert can_read(fresh, shop_user, shop_user, shop)
        assert can_read(fresh, blog_user, blog_user, blog)
        assert not can_read(fresh, shop_user, shop_user, blog)
        assert not can_read(fresh, shop_user, "wrong", shop)


def test_database_restore_failures(restore_sandbox, mariadb, db_prefix, program):
    sb = restore_sandbox
    kept, missing, fresh_db, other = (db_prefix + n for n in ("kept", "missing", "new", "other"))
    mariadb.create_sample_database(kept)
    kept_sums = mariadb.checksums(kept)
    root = "/srv/set"
    sb.write_file(f"{root}/db/data/{kept}", "DROP TABLE customers;\n")
    sb.write_file(f"{root}/db/data/{fresh_db}", "CREATE TABLE t (v TEXT);\nINSERT INTO t VALUES ('ü');\n")
    sb.write_file(f"{root}/db/data/{other}", "CREATE TABLE o (v INT);\n")
    for user in (db_prefix + "nu", other, db_prefix + "mu"):
        for host in ("%", "localhost"):
            mariadb.track_user(user, host)
    sb.start_ovix_server({
        "GetServerRoles": roles_answer(),
        "GetServerDatabases": {"entries": [
            ["DBServerInstance", f"localhost,3306,{mariadb.user},{mariadb.password}"],
            ["DBServerInstance", f"127.0.0.1,3306,{mariadb.user},wrong"],
            ["DBServerInstance", "onlyhost,3306"],
            ["Databases", f"{kept}:{db_prefix}ku,{missing}:{db_prefix}mu,{fresh_db}:{db_prefix}nu,"
                          f"{other},../../etc/passwd:x"],
            ["Databases", db_prefix + "never"],
            ["Databases", db_prefix + "never2"]]}})

    status, printed = restore(sb, program, root)

    assert status == 0
    assert (f"Restoring Database Server\nCannot create database{kept}"
            f"Cannot resote database ----- {missing}") in printed
    assert "Cannot create database../../etc/passwd" in printed
    assert "Unable to connect to database server\n" in printed
    assert "Incomplete database server instance from Ovix Server, skipped: onlyhost" in printed
    assert mariadb.checksums(kept) == kept_sums, "an existing database is left alone"
    assert mariadb.tables(missing) == [], "created empty when its dump is missing"
    assert mariadb.run_sql("SELECT v FROM t", database=fresh_db) == [("ü",)]
    assert mariadb.tables(other) == ["o"]
    assert db_prefix + "never" not in mariadb.database_names(db_prefix)
    assert can_read_any(sb, db_prefix + "mu", missing)
    assert can_read_any(sb, other, other)  # an entry without ":" names its own user
    assert sb.init_calls("mysqld") == [["restart"], ["restart"]]


def can_read_any(sb, user, database):
    result = sb.run(["mysql", "-h", "127.0.0.1", "--port=3306", "-u", user, "-N", "-e",
                     f"SHOW TABLES FROM `{database}`"], env={"MYSQL_PWD": user})
    return result.returncode == 0


@pytest.fixture
def dialogue_sandbox(panel):
    panel.write_hosts_allow(["127.0.0.2"])
    panel.makedirs("/srv/set/db/data")
    return panel


def test_terms_and_questions_repeat_until_answered(dialogue_sandbox, program):
    sb = dialogue_sandbox
    sb.start_ovix_server({"GetServerRoles": roles_answer(web="yes", mail="yes", dns="Yes"),
                          "GetServerSettings": {"entries": [["HttpdConfFile", "/etc/httpd.conf"]]},
                          "GetServerDatabases": {"entries": []}})
    dialogue = Dialogue(sb, program)
    for text in ("no thanks", "", "y"):
        dialogue.answer(TERMS, text)
        dialogue.child.expect_exact("Wrong Input")
    dialogue.answer(TERMS, "YESTERDAY")
    for text in ("", "/no/such/folder"):
        dialogue.answer(FOLDER, text)
        dialogue.child.expect_exact("Invalid Path")
    dialogue.answer(FOLDER, "/srv/set")
    dialogue.answer(ROLE_PROMPTS["web"], "maybe")
    dialogue.child.expect_exact("Wrong Input")
    dialogue.answer(ROLE_PROMPTS["web"], "Yes")
    dialogue.answer(ROLE_PROMPTS["mail"], "no thanks")  # deselects
    dialogue.answer(ROLE_PROMPTS["db"], "NO")
    status, rest = dialogue.finish()
    assert status == 0
    # DNS is offered only for exactly "yes"; the web backup is missing.
    assert "DNS Server" not in rest
    assert rest.replace("\r\n", "\n").strip().endswith(
        "Starting Restore...................\nCannot find Webserver backup")


@pytest.mark.parametrize("setup, answers, status, expected", [
    ("no-address", [], 0, "Cannot find Ovix Server IP"),
    ("decline", [(TERMS, "NO")], 1, None),
    ("end-of-input", [(TERMS, None)], 1, None),
    ("refused", [(TERMS, "yes")], 0, "Cannot connect to Ovix Server"),
    ("malformed", [(TERMS, "yes")], 255, "Parse error at line 1:"),
    ("wrong-action", [(TERMS, "yes"), (FOLDER, "/srv/set")], 0, "Starting Restore"),
    ("no-db-subtree", [(TERMS, "yes"), (FOLDER, "/srv"), (ROLE_PROMPTS["db"], "yes")], 0,
     "Cannot find Database Server Backup"),
    ("no-db-info", [(TERMS, "yes"), (FOLDER, "/srv/set"), (ROLE_PROMPTS["db"], "yes")], 0,
     "No db info received from Ovix Server"),
])
def test_dialogue_failures(dialogue_sandbox, program, setup, answers, status, expected):
    sb = dialogue_sandbox
    if setup == "no-address":
        sb.write_hosts_allow(["127.0.0.1"])
    elif setup == "malformed":
        sb.start_ovix_server({"GetServerRoles": {"mode": "malformed"}})
    elif setup == "wrong-action":
        sb.start_ovix_server({"GetServerRoles": dict(roles_answer(), action="GetServerDNS")})
    elif setup == "no-db-info":
        sb.start_ovix_server({"GetServerRoles": roles_answer(),
                              "GetServerDatabases": {"entries": [["Databases", "shop"]]}})
    elif setup != "refused":
        sb.start_ovix_server({"GetServerRoles": roles_answer()})
    dialogue = Dialogue(sb, program)
    for prompt, text in answers:
        if text is None:
            dialogue.child.expect_exact(prompt)
            dialogue.child.sendeof()
        else:
            dialogue.answer(prompt, text)
    got_status, rest = dialogue.finish()
    assert got_status == status
    if expected is not None:
        assert expected in rest


def test_database_question_without_server(dialogue_sandbox, program):
    server = dialogue_sandbox.start_ovix_server({"GetServerRoles": roles_answer()})
    dialogue = Dialogue(dialogue_sandbox, program)
    dialogue.answer(TERMS, "yes")
    dialogue.child.expect_exact(FOLDER)
    server.stop()  # gone between the roles question and the database question
    dialogue.child.sendline("/srv/set")
    dialogue.answer(ROLE_PROMPTS["db"], "yes")
    status, rest = dialogue.finish()
    assert status == 0
    assert "Cannot connect with Ovix Server to get DB info" in rest
