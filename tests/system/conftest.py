import json
import os
import secrets
from pathlib import Path

import pytest

from sandbox import REPO_ROOT, SUPPORT_DIR, SYSTEM_PYTHON, Sandbox
from mariadb import TEST_PREFIX, MariaDB, query

HERE = Path(__file__).resolve().parent


def pytest_collection_modifyitems(config, items):
    if os.geteuid() == 0:
        return
    skip = pytest.mark.skip(
        reason="system tests need root: they build mount/network/pid namespaces "
               "and run root-only programs such as useradd")
    for item in items:
        if HERE in Path(item.path).resolve().parents:
            item.add_marker(skip)


@pytest.fixture
def sandbox():
    sb = Sandbox()
    try:
        yield sb
    finally:
        sb.close()


@pytest.fixture
def panel(sandbox):
    """A sandbox with the panel installed in /usr/local/ovix."""
    sandbox.write_panel_conf(insfolder="/usr/local/ovix")
    sandbox.makedirs("/usr/local/ovix/etc")
    return sandbox


@pytest.fixture(scope="session")
def build_dir():
    return Path(os.environ.get("OVIX_BUILD_DIR", REPO_ROOT / "build")).resolve()


@pytest.fixture
def program(build_dir):
    """program(name) -> path of a built program; the path is the same inside
    a sandbox.  Skips the test when it has not been built."""

    def find(name):
        for candidate in (build_dir / name, build_dir / "bin" / name):
            if candidate.is_file() and os.access(candidate, os.X_OK):
                return candidate
        for candidate in sorted(build_dir.rglob(name)) if build_dir.is_dir() else ():
            if ("CMakeFiles" not in candidate.parts and candidate.is_file()
                    and os.access(candidate, os.X_OK)):
                return candidate
        pytest.skip(f"{name} is not built in {build_dir} (set OVIX_BUILD_DIR to another build)")

    return find


@pytest.fixture
def ask_ovix():
    """ask_ovix(sandbox, action=..., command=..., host=..., port=...) -> report
    of tests/support/ovix_client.py, asking from inside the sandbox."""
    def ask(sb, action=None, command=None, host="127.0.0.1", port=8789):
        argv = [SYSTEM_PYTHON, "-I", str(SUPPORT_DIR / "ovix_client.py"), "--host", host,
                "--port", str(port)]
        argv += ["--command", command] if command is not None else ["--action", action]
        result = sb.run(argv)
        assert result.returncode == 0, result.stderr.decode()
        return json.loads(result.stdout)

    return ask


# ---- MariaDB -------------------------------------------------------------

def _mariadb_answers(socket_path):
    try:
        query(socket_path, "SELECT 1")
        return None
    except (FileNotFoundError, ConnectionRefusedError) as exc:
        return str(exc)


@pytest.fixture(scope="session")
def mariadb():
    """The MariaDB server of this machine with an administrator account for
    the session; skips when the server does not answer on its socket."""
    db = MariaDB()
    problem = _mariadb_answers(db.socket_path)
    if problem is not None:
        pytest.skip(f"MariaDB server does not answer on {db.socket_path} ({problem}); "
                    "scripts/test starts it")
    db.create_admin()
    try:
        yield db
    finally:
        db.drop_tracked_users()
        db.drop_admin()


@pytest.fixture
def db_prefix(mariadb):
    """Prefix of this test's database names; every database with it, and the
    users registered with mariadb.track_user, are dropped afterwards."""
    prefix = f"{TEST_PREFIX}{secrets.token_hex(4)}_"
    try:
        yield prefix
    finally:
        try:
            for name in mariadb.database_names(prefix):
                mariadb.drop_database(name)
        finally:
            mariadb.drop_tracked_users()


# Names under which programs find the database server's init script.  All are
# stubs in a sandbox: the real script would reach the host's server through
# the shared /run, and a restart there would pull it from under every test.
MYSQL_INIT_SCRIPTS = ("mysqld", "mysql", "mariadb")


@pytest.fixture
def mysql_sandbox(panel, mariadb):
    """A panel sandbox whose loopback port 3306 leads to the MariaDB server
    (the relay is sandbox.mysql_relay), with stub init scripts
    /etc/init.d/mysqld (and mysql, mariadb) that record how the programs
    start the service: sandbox.init_calls("mysqld")."""
    for name in MYSQL_INIT_SCRIPTS:
        panel.add_init_script(name)
    panel.start_mysql_relay()
    return panel
