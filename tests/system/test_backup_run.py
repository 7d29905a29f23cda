"""A scheduled backup run of the real daemon: settings, the Ovix Server's
answers and the messages they give, the backup location and the purge of
old local sets. Database dumps against the real server are in
test_database_backup.py."""

import datetime

import pytest

from backuprun import DEFAULT_LOCATION, header, scheduled_run

GREETING = "Ovix Server ready\r"  # the greeting is logged as received
ADDRESS = "OvixServer IP = 127.0.0.2"
NO_DB_INFO = ["Backingup Database Server", "No db info received from Ovix Server"]
DNS_ANSWER = {"entries": [["IPAddress", "192.0.2.1"], ["DNSDomain", "example.com"],
                          ["DNSConfFile", "/etc/named.conf"]]}


@pytest.fixture
def installed(panel):
    # 127.0.0.1 itself is skipped: it is the panel's own entry.
    panel.write_hosts_allow(["# central server", "127.0.0.1", "127.0.0.2"])
    return panel


def roles(dns="no", mail="no", db="no", web="no"):
    return [("BackupWebserver", web), ("BackupMailServer", mail), ("BackupDNSServer", dns),
            ("BackupDatabaseServer", db), ("BackupType", "local")]


# settings, answers (None: no server listening), log after the header, printed text
ROLE_CASES = {
    "db-connection-refused": (
        roles(db="yes"), None,
        ["Cannot connect with Ovix Server to get DB info", ADDRESS],
        "Cannot connect with Ovix Server to get DB info\n" + ADDRESS + "\n"),
    "db-wrong-action": (
        roles(db="yes"),
        {"GetServerDatabases": {"action": "GetServerRoles",
                                "entries": [["DBServerInstance", "h,1,u,p"], ["Databases", "d1"]]}},
        NO_DB_INFO, "No db info received from Ovix Server\n"),
    "db-no-databases": (
        roles(db="yes"), {"GetServerDatabases": {"entries": [["DBServerInstance", "h,1,u,p"]]}},
        NO_DB_INFO, "No db info received from Ovix Server\n"),
    "db-malformed": (
        roles(db="yes"), {"GetServerDatabases": {"mode": "malformed"}}, NO_DB_INFO, ""),
    "db-incomplete-instance": (
        roles(db="yes"),
        {"GetServerDatabases": {"entries": [["DBServerInstance", "dbhost,3306,admin"],
                                            ["Databases", "d1"]]}},
        ["Backingup Database Server",
         "Incomplete database server instance from Ovix Server, skipped: dbhost"], ""),
    "dns-connection-refused": (
        roles(dns="yes"), None,
        ["Cannot connect with Ovix Server to get DNS Domanins", ADDRESS],
        "Cannot connect with Ovix Server to get DNS Domanins\n" + ADDRESS),
    "dns-wrong-action": (
        roles(dns="yes"), {"GetServerDNS": dict(DNS_ANSWER, action="GetServerRoles")},
        ["Backing up DNS", "Invalid DNS Server packet from Ovix Server", GREETING, ""],
        "Invalid DNS Server packet from Ovix Server\n"),
    "dns-empty-answer": (
        roles(dns="yes"), {"GetServerDNS": {"mode": "empty"}},
        ["Backing up DNS", "Invalid DNS Server packet from Ovix Server", GREETING, ""], ""),
    "dns-without-conf-file": (
        roles(dns="yes"), {"GetServerDNS": {"entries": DNS_ANSWER["entries"][:2]}},
        ["Backing up DNS", "Not a valid DNS server infomation, aborting DNS server backup",
         "Please restart windows Ovix services"], ""),
    "dns-valid": (roles(dns="yes"), {"GetServerDNS": DNS_ANSWER}, ["Backing up DNS"], ""),
    "mail-connection-refused": (
        roles(mail="yes"), None,
        ["Cannot connect with Ovix Server to get Mail Domanins", ADDRESS],
        "Cannot connect with Ovix Server to get Mail Domanins\n" + ADDRESS + "\n"),
    "mail-without-domains": (
        roles(mail="yes"), {"GetServerMailDomains": {"entries": [["Other", "xy"]]}},
        ["Backing up Mail Server",
         "Not a valid Mail Server information, aborting Mail Server backup",
         "Please restart windows Ovix services"], ""),
    "mail-malformed": (
        roles(mail="yes"), {"GetServerMailDomains": {"mode": "malformed"}},
        ["Backing up Mail Server", "Invalid Mail Server packet from Ovix Server", GREETING, ""],
        "Invalid Mail Server packet from Ovix Server\n"),
    "web-connection-refused": (
        roles(web="yes"), None,
        ["Cannot connect with Ovix Server to get ftp users Info", ADDRESS,
         "Cannot connect OvixServer to get webdomains so no backup of webserver", ADDRESS],
        "Cannot connect with Ovix Server to get ftp users info\n" + ADDRESS + "\n"
        "Cannot connect OvixServer to get webdomains so no backup of webserver\n" + ADDRESS
        + "\n"),
    "web-users-wrong-action": (
        roles(web="yes"),
        {"GetServerUsers": {"action": "GetServerDNS"},
         "GetServerWebsites": {"entries": [["WebDomain", "example.com"]]}},
        ["Taking backup of ftp accounts", "Invalid Ftp accounts packet from Ovix Server",
         GREETING, "", "Taking backup of Webserver"],
        "Invalid Ftp accounts packet from Ovix ServerTaking backup of webserver\n"),
    # Role flags are compared exactly: "Yes" is not "yes".
    "flags-are-exact": (roles(dns="Yes", mail="YES", db="yes ", web="y"), {}, [], ""),
}


@pytest.mark.parametrize("settings, answers, logged, printed", ROLE_CASES.values(),
                         ids=ROLE_CASES.keys())
def test_role_messages(installed, program, settings, answers, logged, printed):
    if answers is not None:
        installed.start_ovix_server(answers)
    run = scheduled_run(installed, program("ovixbackup"), settings)
    assert run.log == [header()] + logged
    assert printed in run.output


def test_roles_run_in_fixed_order(installed, program):
    server = installed.start_ovix_server({
        "GetServerDNS": DNS_ANSWER,
        "GetServerMailDomains": {"entries": [["DomainName", "example.com"]]},
        "GetServerDatabases": {"entries": []},
        "GetServerUsers": {"entries": [["FTPUser", "ftp1"], ["WebAdmin", "admin1"]]},
        "GetServerWebsites": {"entries": [["WebDomain", "example.com"],
                                          ["HttpdConfFile", "/etc/httpd.conf"]]},
    })
    run = scheduled_run(installed, program("ovixbackup"),
                        roles(dns="yes", mail="yes", db="yes", web="yes"))
    assert server.actions() == ["GetServerDNS", "GetServerMailDomains", "GetServerDatabases",
                                "GetServerUsers", "GetServerWebsites"]
    assert run.log == [header(), "Backing up DNS", "Backing up Mail Server", *NO_DB_INFO,
                       "Taking backup of ftp accounts", "Taking backup of Webserver"]
    # The log switch is on: greeting and answer of every question are traced.
    assert run.output.count("Message Length=19\nMessage Received=Ovix Server ready\r\n") == 5


def test_run_needs_the_server_address(panel, program):
    panel.write_hosts_allow(["127.0.0.1"])
    run = scheduled_run(panel, program("ovixbackup"), roles(db="yes"))
    assert run.log == []
    assert "Cannot find Ovix Server IP\n" in run.output


def test_non_ascii_domains_go_through_idn_when_the_charset_allows(installed, program):
    installed.start_ovix_server({"GetServerMailDomains": {"entries": [
        ["DomainName", "example.com"], ["DomainName", "bücher.example"]]}})
    utf8 = scheduled_run(installed, program("ovixbackup"), roles(mail="yes"),
                         env={"LANG": "C.UTF-8"})
    assert "command =/usr/bin/idn --quiet bücher.example\n" in utf8.output
    assert utf8.output.count("command =") == 1  # ASCII names need no conversion
    plain = scheduled_run(installed, program("ovixbackup"), roles(mail="yes"), env={"LANG": "C"})
    assert "command =" not in plain.output
    assert plain.log == [header(), "Backing up Mail Server"]


@pytest.mark.parametrize("location, folder", [
    (None, DEFAULT_LOCATION),
    ("/srv/backups/", "/srv/backups"),
    ("/srv/deep/er/backups", "/srv/deep/er/backups"),
])
def test_missing_location_is_created(installed, program, location, folder):
    settings = roles() + ([("BackupLocation", location)] if location else [])
    run = scheduled_run(installed, program("ovixbackup"), settings)
    assert run.log == [header()]
    assert installed.stat(folder).kind == "dir"


def test_location_that_cannot_be_made(installed, program):
    run = scheduled_run(installed, program("ovixbackup"),
                        roles(db="yes") + [("BackupLocation", "/etc/passwd/backups/")])
    assert run.log == [header(), "Backup path does not exist"]
    assert "Backup path does not exist\n" in run.output


def set_name(days_ago, prefix="OvixBackup"):
    day = datetime.date.today() - datetime.timedelta(days=days_ago)
    return f"{prefix}-{day.day}-{day.month}-{day.year % 100:02d}"


def test_purge_deletes_only_old_sets(installed, program):
    location = "/srv/backups"
    keep = [set_name(0), set_name(1), set_name(2), set_name(-3), "notes.txt", "webspace",
            "OvixBackup-x-y-z", "OvixBackup-latest", "OvixBackup-1-3-2024", "OvixBackupOld"]
    old = [set_name(3), set_name(5, "ovixbackup"), set_name(40) + ".zip", set_name(400)]
    for name in keep + old:
        if "." in name:
            installed.write_file(f"{location}/{name}", "data")
        else:
            installed.write_file(f"{location}/{name}/db/data/shop", "dump")
    run = scheduled_run(installed, program("ovixbackup"),
                        roles() + [("BackupLocation", location + "/"), ("PurgeTime", "03")])

    assert sorted(installed.tree(location).keys() & set(keep + old)) == sorted(keep)
    assert run.log[:2] == [header(), "Looking for old local backups"]
    assert sorted(run.log[2:]) == sorted(
        "Old backup from local machine deleted : " + name for name in old)
    assert run.output.endswith("Local purged finished\n") or "Local purged finished\n" in run.output


@pytest.mark.parametrize("purge, location_exists", [("00", True), (None, True), ("03", False)])
def test_no_purge_without_age_or_for_a_new_location(installed, program, purge, location_exists):
    if location_exists:
        installed.write_file(f"{DEFAULT_LOCATION}/{set_name(10)}/db/data/shop", "dump")
    settings = roles() + ([("PurgeTime", purge)] if purge else [])
    run = scheduled_run(installed, program("ovixbackup"), settings)
    assert run.log == [header()]
    assert "Local purged finished" not in run.output
