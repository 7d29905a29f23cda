"""The MariaDB harness: the real client programs, inside a sandbox, reach the
host's server over TCP through the relay, with the administrator's hostile
password only in their environment."""

import os

import pytest

PWNED = "/tmp/pwned"  # what the password's $(...) would create
DUMP = "/root/dump.sql"
SAMPLE_TABLES = {"customers", "files", "order"}


def quote_name(name):
    return "`" + name.replace("`", "``") + "`"


def mysql(sb, host, user, password, *args, stdin_file=None):
    """The mysql client in sb over TCP; password None leaves MYSQL_PWD unset."""
    argv = ["mysql", "-h", host, "--port=3306", "-u", user, *args]
    if stdin_file is not None:
        argv = ["sh", "-c", 'f=$1; shift; exec "$@" < "$f"', "sh", stdin_file] + argv
    return sb.run(argv, env={"MYSQL_PWD": password})


@pytest.mark.parametrize("host, peer", [
    ("localhost", None),  # either loopback address
    ("127.0.0.1", "::ffff:127.0.0.1"),
    ("::1", "::1"),
])
def test_dump_loads_back_with_same_checksums(mysql_sandbox, mariadb, db_prefix, host, peer):
    sb = mysql_sandbox
    source, copy = db_prefix + "source", db_prefix + "copy"
    mariadb.create_sample_database(source)
    env = {"MYSQL_PWD": mariadb.password}

    dump = sb.run(["mysqldump", "-h", host, "--port=3306", "-u", mariadb.user, source], env=env)
    assert dump.returncode == 0, dump.stderr.decode()
    sb.write_file(DUMP, dump.stdout, mode=0o600)
    created = mysql(sb, host, mariadb.user, mariadb.password, "-e",
                    f"CREATE DATABASE {quote_name(copy)}")
    assert created.returncode == 0, created.stderr.decode()
    loaded = mysql(sb, host, mariadb.user, mariadb.password, copy, stdin_file=DUMP)
    assert loaded.returncode == 0, loaded.stderr.decode()

    sums = mariadb.checksums(copy)
    assert set(sums) == SAMPLE_TABLES
    assert sums == mariadb.checksums(source)
    assert mariadb.tables(copy, "VIEW") == ["customer_names"]
    [(blob,)] = mariadb.run_sql("SELECT data FROM files WHERE label = 'all bytes'", copy)
    assert blob.encode("utf-8", "surrogateescape") == bytes(range(256))

    peers = sb.mysql_relay.peers()
    assert len(peers) == 3  # dump, create, load: TCP through the relay, not the socket
    if peer is not None:
        assert set(peers) == {peer}
    assert not os.path.lexists(PWNED)
    assert not sb.exists(PWNED)


@pytest.mark.parametrize("user, password, status", [
    ("admin", "right", 0),
    ("admin", "wrong", 1),
    # Through a real TCP connection root's unix_socket login does not apply.
    ("root", None, 1),
], ids=["right-password", "wrong-password", "root-without-password"])
def test_login_through_relay(mysql_sandbox, mariadb, user, password, status):
    user = mariadb.user if user == "admin" else user
    password = {"right": mariadb.password, "wrong": mariadb.password + "x"}.get(password)
    result = mysql(mysql_sandbox, "127.0.0.1", user, password, "-N", "-e", "SELECT CURRENT_USER()")
    assert result.returncode == status, result.stderr.decode()
    if status == 0:
        assert result.stdout.decode() == f"{mariadb.user}@localhost\n"
    else:
        assert "Access denied" in result.stderr.decode()


@pytest.mark.parametrize("argv, script", [
    (["/etc/init.d/mysqld", "start"], "mysqld"),
    (["service", "mariadb", "restart"], "mariadb"),
    (["service", "mysql", "stop"], "mysql"),
])
def test_service_control_is_only_recorded(mysql_sandbox, argv, script):
    # The real scripts would act on the host's server through the shared /run:
    # make sure of the stub before calling it.
    assert b"Stand-in" in mysql_sandbox.read_file(f"/etc/init.d/{script}")
    result = mysql_sandbox.run(argv)
    assert result.returncode == 0, result.stderr.decode()
    assert mysql_sandbox.init_calls(script) == [argv[-1:]]
