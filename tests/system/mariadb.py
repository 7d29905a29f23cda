"""The host's MariaDB server as tests and the demo see it: an administrator
account for the programs under test, sample databases and checksums."""

import secrets
import sys

from sandbox import MYSQL_SOCKET, SUPPORT_DIR

sys.path.insert(0, str(SUPPORT_DIR))
from mariadb_client import query  # noqa: E402,F401


# Every database and account the tests create starts with this, so that a
# leftover on the shared server is easy to recognise.
TEST_PREFIX = "ovt_"
ADMIN_HOSTS = ("localhost", "127.0.0.1", "::1")
# Blanks, quotes, shell substitutions, "=", "#" and a backslash: whatever
# puts the password on a command line, into shell text or into an option
# file or SQL string without quoting breaks, or creates /tmp/pwned.
ADMIN_PASSWORD = "p w'd\"$(touch /tmp/pwned);=x `id` #\\y"
SAMPLE_TEXT = "Grüße 👋 日本"
SAMPLE_NOTE = "tab\there\nnew line \\ NULL"


def quote_name(name):
    """SQL identifier."""
    return "`" + name.replace("`", "``") + "`"


def quote_string(text):
    """SQL string literal (backslash escapes are on in the default sql_mode)."""
    return "'" + text.replace("\\", "\\\\").replace("'", "''").replace("\0", "\\0") + "'"


def account(user, host):
    return f"{quote_string(user)}@{quote_string(host)}"


class MariaDB:
    """The host's MariaDB server as the tests see it.  SQL runs as root over
    the server's socket (tests/support/mariadb_client.py); programs under
    test log in as the administrator account user/password."""

    def __init__(self, socket_path=MYSQL_SOCKET):
        self.socket_path = socket_path
        self.user = f"{TEST_PREFIX}admin_{secrets.token_hex(4)}"
        self.password = ADMIN_PASSWORD
        self._users = []

    def run_sql(self, sql, database=None):
        """Rows of every result set of sql (one or more statements) as tuples
        of str, NULL as None; binary values decoded with surrogateescape."""
        return query(self.socket_path, sql, database=database)

    def create_admin(self):
        self.run_sql("".join(
            f"CREATE USER {account(self.user, host)} IDENTIFIED BY {quote_string(self.password)};"
            f"GRANT ALL PRIVILEGES ON *.* TO {account(self.user, host)} WITH GRANT OPTION;"
            for host in ADMIN_HOSTS))

    def drop_admin(self):
        self.run_sql("".join(f"DROP USER IF EXISTS {account(self.user, host)};"
                             for host in ADMIN_HOSTS))

    def drop_users(self, name):
        """Drops the accounts called name from every host."""
        hosts = self.run_sql("SELECT Host FROM mysql.user WHERE User = " + quote_string(name))
        if hosts:
            self.run_sql("".join(f"DROP USER IF EXISTS {account(name, h)};" for (h,) in hosts))

    def track_user(self, name, host):
        """Have the account name@host dropped at the end of the test (with
        db_prefix) or else of the session."""
        self._users.append((name, host))

    def drop_tracked_users(self):
        users, self._users = self._users, []
        if users:
            self.run_sql("".join(f"DROP USER IF EXISTS {account(n, h)};" for n, h in users))

    def database_names(self, prefix=""):
        return sorted(name for (name,) in self.run_sql("SHOW DATABASES")
                      if name.startswith(prefix))

    def drop_database(self, name):
        self.run_sql(f"DROP DATABASE IF EXISTS {quote_name(name)}")

    def tables(self, database, kind="BASE TABLE"):
        return [name for (name,) in self.run_sql(
            "SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
            f"{quote_string(database)} AND TABLE_TYPE = {quote_string(kind)} ORDER BY TABLE_NAME")]

    def checksums(self, database):
        """{table: CHECKSUM TABLE value} of every base table (views left out)."""
        tables = self.tables(database)
        if not tables:
            return {}
        rows = self.run_sql("".join(f"CHECKSUM TABLE {quote_name(database)}.{quote_name(t)};"
                                    for t in tables))
        return {table: checksum for table, (_, checksum) in zip(tables, rows)}

    def create_sample_database(self, name):
        """A database with text in several scripts, binary data (every byte
        value), NULLs, decimals, dates, a table named by a reserved word and
        a view."""
        self.run_sql(f"CREATE DATABASE {quote_name(name)} "
                     "CHARACTER SET utf8mb4 COLLATE utf8mb4_unicode_ci")
        all_bytes = bytes(range(256)).hex()
        self.run_sql(f"""
            CREATE TABLE customers (
                id INT NOT NULL PRIMARY KEY,
                name VARCHAR(100) NOT NULL,
                note TEXT NULL,
                balance DECIMAL(12,2) NULL,
                since DATE NULL
            ) ENGINE=InnoDB;
            INSERT INTO customers VALUES
                (1, {quote_string(SAMPLE_TEXT)}, NULL, 1234.56, '2024-02-29'),
                (2, 'O''Brien; DROP TABLE x', {quote_string(SAMPLE_NOTE)},
                 -0.01, NULL),
                (3, '', '', NULL, '1999-12-31');
            CREATE TABLE files (
                id INT NOT NULL AUTO_INCREMENT PRIMARY KEY,
                label VARCHAR(20) NOT NULL,
                data BLOB NULL
            ) ENGINE=InnoDB;
            INSERT INTO files (label, data) VALUES
                ('all bytes', UNHEX('{all_bytes}')), ('null', NULL), ('empty', '');
            CREATE TABLE `order` (
                id INT NOT NULL PRIMARY KEY,
                customer INT NULL,
                total DECIMAL(10,3) NOT NULL,
                placed DATE NOT NULL
            ) ENGINE=InnoDB;
            INSERT INTO `order` VALUES (10, 1, 99.999, '2023-01-01'), (11, NULL, 0, '2023-12-31');
            CREATE VIEW customer_names AS SELECT id, name FROM customers;
        """, database=name)


