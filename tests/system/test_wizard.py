"""ovix7backupconfig, the configuration wizard, driven through a pseudo-
terminal in the sandbox against the stand-in Ovix Server.  Every text it
prints is checked (wizard_dialogue.py), the file it writes byte for byte,
and what the daemon's own reader makes of that file (ovix_read_config)."""

import datetime
import io
import signal
import time

import pytest

from backuprun import _wait_for as wait_for
from backuprun import header

# Its assertions check the wizard's output: report them in full.
pytest.register_assert_rewrite("wizard_dialogue")
from wizard_dialogue import (NO_FOLDER, WRONG, converse, dialogue, expect_output,  # noqa: E402
                             finish, piped, roles_screen, run_dialogue)

INS = "/usr/local/ovix"
CONF_FILE = INS + "/etc/ovixbackup.conf"
LOG_FILE = INS + "/log/ovixbackup.log"
LOG_SWITCH = "/usr/local/ovix/etc/enablekestrunlog"
DEFAULT_FOLDER = "/usr/local/OvixBackup"
ROLES_REQUEST = "<command><action>GetServerRoles</action></command>\r\n.\r\n"
# A configuration the wizard did not write, to see whether it is replaced.
OLD_CONF = ("<command><Action><![CDATA[BackupOvix]]></Action>"
            '<parameter name="BackupWebserver"><![CDATA[no]]></parameter>'
            '<parameter name="BackupType"><![CDATA[local]]></parameter>'
            '<parameter name="BackupScheduleType"><![CDATA[daily]]></parameter>'
            '<parameter name="BackupTime"><![CDATA[11:11]]></parameter></command>\n')

WEB_MAIL_DB = [["WebServer", "yes"], ["MailServer", "yes"], ["DNSServer", "no"],
               ["DatabaseServer", "yes"]]
WEB = [["WebServer", "yes"], ["MailServer", "no"], ["DNSServer", "no"], ["DatabaseServer", "no"]]
MAIL = [["WebServer", "no"], ["MailServer", "yes"], ["DNSServer", "no"], ["DatabaseServer", "no"]]
NO_ROLES = [["WebServer", "no"], ["MailServer", "no"], ["DNSServer", "no"],
            ["DatabaseServer", "no"]]


def param(name, value, blanks=" "):
    return f'<parameter{blanks}name="{name}"><![CDATA[{value}]]></parameter>'


def web_param(flag):
    return param("BackupWebserver", flag)


def other_roles(mail, dns, db):
    """The role flags after the web role's elements; the mail role's element
    has two blanks before "name"."""
    return [param("BackupMailServer", mail, "  "), param("BackupDNSServer", dns),
            param("BackupDatabaseServer", db)]


def roles_params(web, mail, dns, db):
    return [web_param(web), *other_roles(mail, dns, db)]


def conf_line(*params):
    return "<command><Action><![CDATA[BackupOvix]]></Action>" + "".join(params) + "</command>\n"


LOCAL_DEFAULT = [param("BackupType", "local"), param("BackupLocation", "/usr/local/OvixBackup/")]
DAILY = [param("BackupScheduleType", "daily"), param("BackupTime", "02:30")]

# What the daemon reads from a file of the dialogue's default answers.
READ_BACK = dict(result="ok", backupWebserver="no", backupWebspace="yes", dirFilter=[],
                 fileFilter=[], backupMailServer="yes", backupDNSServer="no",
                 backupDatabaseServer="no", backupType="local",
                 backupPath="/usr/local/OvixBackup/", ftpServer="", ftpPort="", ftpUserName="",
                 ftpPassword="", purgeTime="0", backupScheduleType="daily", backupTime="02:30",
                 backupWeekDay="", backupMonthDay="")


def read_back(sb, program):
    """Settings as the daemon reads them from the configuration file."""
    out = sb.run([str(program("ovix_read_config"))]).stdout.decode()
    settings = {"dirFilter": [], "fileFilter": []}
    for line in out.splitlines():
        name, value = line.split("=", 1)
        if isinstance(settings.get(name), list):
            settings[name].append(value)
        else:
            settings[name] = value
    return settings


def etc_files(sb):
    return sorted(sb.tree(INS + "/etc"))


@pytest.fixture
def installed(panel):
    # 127.0.0.1 is the panel's own entry and is skipped.
    panel.write_hosts_allow(["# central server", "127.0.0.1", "127.0.0.2"])
    return panel


def serve_roles(sb, roles):
    return sb.start_ovix_server({"GetServerRoles": {"entries": roles}})


@pytest.fixture
def wizard(program):
    return program("ovix7backupconfig")


# ---- command line --------------------------------------------------------

HISTORY = [
    "Kestrun Ver 1.00.0011 (New folder structure support added, IDN support is added )",
    "Kestrun Ver 1.00.0010 (backup webspace is made optional, backup purge facility is provided,"
    " chroot dns backup is supported, local backup of webspace is improved, IPV6 support is"
    " added, acl permissions backup/restore for ftp users is changed now acl is not backed up"
    " and during restore acl are set only for ftp users on their home directory, During restore"
    " permissions on standard website folders are improved so that ftp user should not be able"
    " to delete log or httpd folders, ACL permissions for apache user are set on html and"
    " special folders )",
    "Kestrun Ver 1.00.0009 (Ovix7 changed to Ovix8 in Kestrun)",
    "Kestrun Ver 1.00.0008 (Postfix backup and restore)",
    "Kestrun Ver 1.00.0007 (Exim backup and restore)",
    "Kestrun Ver 1.00.0006 (Remote backup issue is resolved)",
    "Kestrun Ver 1.00.0005 (Restore of RubyOnRails)",
    "Kestrun Ver 1.00.0004 (Backup and Restore of AWStats)",
    "Kestrun Ver 1.00.0003 (qmail backup & restore and sendmail restore issues are resolved)",
    "Kestrun Ver 1.00.0001 (Smart backup and restore utility)",
]
INVALID_ARGUMENT = "Invalid argument use --version to find version of Kestrun\n"


@pytest.mark.parametrize("args, output", [
    (["--version"], "Kestrun Ver 1.00.0011\n"),
    (["--VERSION"], "Kestrun Ver 1.00.0011\n"),
    (["--History"], "".join(line + "\n" for line in HISTORY)),
    (["--help"], INVALID_ARGUMENT),
    (["-version"], INVALID_ARGUMENT),
    ([""], INVALID_ARGUMENT),
    (["--version", "--history"],
     "Invalid number of rguments use --version to find version of Kestrun\n"),
    (["a", "b", "c"], "Invalid number of rguments use --version to find version of Kestrun\n"),
])
def test_command_line(installed, wizard, args, output):
    server = serve_roles(installed, WEB)
    result = installed.run([str(wizard), *args])
    assert (result.returncode, result.stdout.decode(), result.stderr) == (0, output, b"")
    assert server.requests() == []


# ---- complete dialogues --------------------------------------------------

COMPLETE = {
    "local-daily-three-filters-no-purge": (
        WEB_MAIL_DB, dict(filters=[(".log", "yes"), (".tmp", "YES"), (".bak", "no")]),
        conf_line(web_param("yes"), param("BackupWebspace", "yes"),
                  param("FileToFilter", ".log"), param("FileToFilter", ".tmp"),
                  param("FileToFilter", ".bak"), *other_roles("yes", "no", "yes"),
                  *LOCAL_DEFAULT, *DAILY),
        dict(backupWebserver="yes", fileFilter=[".log", ".tmp", ".bak"],
             backupDatabaseServer="yes")),
    "webspace-no": (
        WEB, dict(webspace="No"),
        conf_line(web_param("yes"), param("BackupWebspace", "no"), *other_roles("no", "no", "no"),
                  *LOCAL_DEFAULT, *DAILY),
        dict(backupWebserver="yes", backupWebspace="no", backupMailServer="no")),
    "web-role-no": (
        [["WebServer", "no"], ["MailServer", "yes"], ["DNSServer", "yes"],
         ["DatabaseServer", "no"]], {},
        conf_line(*roles_params("no", "yes", "yes", "no"), *LOCAL_DEFAULT, *DAILY),
        dict(backupDNSServer="yes")),
    "roles-answer-names-only-dns": (
        [["DNSServer", "yes"]], {},
        conf_line(*roles_params("no", "no", "yes", "no"), *LOCAL_DEFAULT, *DAILY),
        dict(backupMailServer="no", backupDNSServer="yes")),
    "all-roles-no": (
        NO_ROLES, {},
        conf_line(*roles_params("no", "no", "no", "no"), *LOCAL_DEFAULT, *DAILY),
        dict(backupMailServer="no")),
    "weekly-wednesday": (
        MAIL, dict(schedule="2", weekday="3", time="23:59"),
        conf_line(*roles_params("no", "yes", "no", "no"), *LOCAL_DEFAULT,
                  param("BackupScheduleType", "weekly"), param("BackupTime", "23:59"),
                  param("BackupWeekDay", "03")),
        dict(backupScheduleType="weekly", backupTime="23:59", backupWeekDay="03")),
    **{f"monthly-{day}": (
        MAIL, dict(schedule="3", monthday=day),
        conf_line(*roles_params("no", "yes", "no", "no"), *LOCAL_DEFAULT,
                  param("BackupScheduleType", "monthly"), param("BackupMonthDay", written),
                  param("BackupTime", "02:30")),
        dict(backupScheduleType="monthly", backupMonthDay=written))
       for day, written in [("5", "05"), ("15", "15"), ("05", "05")]},
    "remote-default-port": (
        MAIL, dict(location="2", ftp=("192.0.2.10", "", "backup", "s3=cr et")),
        conf_line(*roles_params("no", "yes", "no", "no"), param("BackupType", "remote"),
                  param("FTPServer", "192.0.2.10"), param("FTPPort", "21"),
                  param("FTPUserName", "backup"), param("FTPPassword", "s3=cr et"), *DAILY),
        dict(backupType="remote", ftpServer="192.0.2.10", ftpPort="21", ftpUserName="backup",
             ftpPassword="s3=cr et")),
    "purge-7": (
        MAIL, dict(purge="yes", purge_days="7"),
        conf_line(*roles_params("no", "yes", "no", "no"), *LOCAL_DEFAULT, *DAILY,
                  param("PurgeTime", "07")),
        dict(purgeTime="7")),
    "purge-yesterday-7days": (
        MAIL, dict(purge="yesterday", purge_days="7days"),
        conf_line(*roles_params("no", "yes", "no", "no"), *LOCAL_DEFAULT, *DAILY,
                  param("PurgeTime", "07")),
        dict(purgeTime="7")),
    "purge-nope": (
        MAIL, dict(purge="nope"),
        conf_line(*roles_params("no", "yes", "no", "no"), *LOCAL_DEFAULT, *DAILY), {}),
}


@pytest.mark.parametrize("roles, answers, line, settings", COMPLETE.values(), ids=COMPLETE.keys())
def test_complete_dialogue(installed, wizard, program, roles, answers, line, settings):
    server = serve_roles(installed, roles)
    installed.write_file(CONF_FILE, OLD_CONF, mode=0o644)
    assert run_dialogue(installed, wizard, dialogue(roles, **answers)) == 0
    assert installed.read_file(CONF_FILE).decode() == line
    # Replaced, not rewritten in place: private, and nothing left beside it.
    assert installed.stat(CONF_FILE)[1:4] == (0o600, 0, 0)
    assert etc_files(installed) == ["hosts.allow", "ovixbackup.conf"]
    assert read_back(installed, program) == dict(READ_BACK, **settings)
    assert server.requests() == [ROLES_REQUEST]


def test_default_folder_is_made_for_root(installed, wizard):
    serve_roles(installed, MAIL)
    assert not installed.exists(DEFAULT_FOLDER)
    assert run_dialogue(installed, wizard, dialogue(MAIL)) == 0
    assert installed.stat(DEFAULT_FOLDER)[:4] == ("dir", 0o744, 0, 0)
    # An existing one is given back to root with the same mode.
    installed.run(["chmod", "0700", DEFAULT_FOLDER])
    installed.run(["chown", "12345:12345", DEFAULT_FOLDER])
    assert run_dialogue(installed, wizard, dialogue(MAIL)) == 0
    assert installed.stat(DEFAULT_FOLDER)[:4] == ("dir", 0o744, 0, 0)


def test_answers_through_a_pipe(installed, wizard, program):
    """Answers that arrive all at once, as from a script, are taken line by
    line; nothing is echoed."""
    roles, answers, line, settings = COMPLETE["local-daily-three-filters-no-purge"]
    serve_roles(installed, roles)
    given, output = piped(dialogue(roles, **answers))
    result = installed.run([str(wizard)], input=given, env={"TERM": "dumb"})
    assert (result.returncode, result.stdout.decode(), result.stderr) == (0, output, b"")
    assert installed.read_file(CONF_FILE).decode() == line
    assert read_back(installed, program) == dict(READ_BACK, **settings)


# ---- refused answers -----------------------------------------------------

def make_folder(path):
    return lambda sb: sb.makedirs(path)


def block_default_folder(sb):
    """A file where the default folder would be made, and a folder to use."""
    sb.write_file(DEFAULT_FOLDER, "")
    sb.makedirs("/backup")


TOO_LONG = "1" * 1024  # one over the limit: refused whole, once
LONGEST_USER = "u" * 1023
REMOTE = dict(backupType="remote", ftpPort="21", ftpUserName="backup", ftpPassword="pw")

REFUSED = {
    "webspace": (
        WEB, dict(webspace="YES", filters=[(".log", "no")],
                  refused={"webspace": ["", "y", "yess", TOO_LONG]}),
        dict(backupWebserver="yes", backupMailServer="no", fileFilter=[".log"])),
    "filter-unstorable": (
        WEB, dict(filters=[(".log", "no")], refused={"filter": [".", ".a]]>b", "." * 1024]}),
        dict(backupWebserver="yes", backupMailServer="no", fileFilter=[".log"])),
    "filter-entry-ends-at-a-non-filter": (
        WEB, dict(filters=[(".log", "yes"), ("*.log", None)]),
        dict(backupWebserver="yes", backupMailServer="no", fileFilter=[".log"])),
    "filter-entry-ends-at-another-no": (
        WEB, dict(filters=[(".log", "y")]),
        dict(backupWebserver="yes", backupMailServer="no", fileFilter=[".log"])),
    "location": (
        MAIL, dict(location="1abc", refused={"location": ["", "3", "x1", " 1", TOO_LONG]}), {}),
    "folder": (
        MAIL, dict(folder="/backup", actions={"folder": make_folder("/backup")},
                   refused={"folder": [("/nonexistent", NO_FOLDER), ("backup", WRONG),
                                       ("/", WRONG), ("/a]]>b", WRONG)]}),
        dict(backupPath="/backup/")),
    "folder-ending-in-slash": (
        MAIL, dict(folder="/backup/", actions={"folder": make_folder("/backup")}),
        dict(backupPath="/backup/")),
    "default-folder-blocked-by-a-file": (
        MAIL, dict(folder="/backup", actions={"folder": block_default_folder},
                   refused={"folder": [("", NO_FOLDER)]}),
        dict(backupPath="/backup/")),
    "ftp-server-user-password": (
        MAIL, dict(location="2", ftp=("ftp.example.com", "", LONGEST_USER, "pw"),
                   refused={"ftp_server": ["", "300.1.1.1", "1.2.3.4.5", "a.b.c.d.e", "x",
                                           "a]]>.b"],
                            "ftp_user": ["", "a", "u]]>x", "u" * 1024],
                            "ftp_password": ["", "p", "p]]>w", "pa]ss"]}),
        dict(REMOTE, ftpServer="ftp.example.com", ftpUserName=LONGEST_USER)),
    "ftp-port-as-it-stands": (
        MAIL, dict(location="2", ftp=("10.0.1", "abc", "backup", "pw")),
        dict(REMOTE, ftpServer="10.0.1", ftpPort="abc")),
    "ftp-port-of-one-digit": (
        MAIL, dict(location="2", ftp=("10.0.0.1", "7", "backup", "pw"),
                   refused={"ftp_port": ["x", "p]]>"]}),
        dict(REMOTE, ftpServer="10.0.0.1", ftpPort="07")),
    "schedule": (
        MAIL, dict(schedule="1", refused={"schedule": ["", "0", "4", "11", "1 ", TOO_LONG]}), {}),
    "time": (
        MAIL, dict(time="23:59", refused={"time": ["24:00", "12:60", "1200", "12:3a", "-1:30",
                                                   ":", "00001:00", ""]}),
        dict(backupTime="23:59")),
    **{f"time-{t}": (MAIL, dict(time=t), dict(backupTime=t)) for t in ["0:0", "12:", "7:5"]},
    "weekday": (
        MAIL, dict(schedule="2", weekday="0", refused={"weekday": ["7", "06", ""]}),
        dict(backupScheduleType="weekly", backupWeekDay="00")),
    "weekday-saturday": (
        MAIL, dict(schedule="2", weekday="6"),
        dict(backupScheduleType="weekly", backupWeekDay="06")),
    "monthday": (
        MAIL, dict(schedule="3", monthday="28",
                   refused={"monthday": ["29", "0", "", "x", "-1", "5x"]}),
        dict(backupScheduleType="monthly", backupMonthDay="28")),
    "purge-days": (
        MAIL, dict(purge="YES", purge_days="1",
                   refused={"purge": ["", "maybe", "y"], "purge_days": ["0", "31", "x", ""]}),
        dict(purgeTime="1")),
    "purge-30-days": (MAIL, dict(purge="yes", purge_days="30"), dict(purgeTime="30")),
}


@pytest.mark.parametrize("roles, answers, settings", REFUSED.values(), ids=REFUSED.keys())
def test_refused_answers_are_asked_again(installed, wizard, program, roles, answers, settings):
    serve_roles(installed, roles)
    assert run_dialogue(installed, wizard, dialogue(roles, **answers)) == 0
    assert read_back(installed, program) == dict(READ_BACK, **settings)


def test_password_is_not_echoed(installed, wizard, program):
    serve_roles(installed, MAIL)
    child = installed.spawn([str(wizard)])
    child.logfile_read = io.StringIO()
    script = dialogue(MAIL, location="2", ftp=("10.0.0.1", "", "backup", "Hidden1"))
    assert finish(child, converse(installed, child, script), script.pending) == 0
    assert "Hidden1" not in child.logfile_read.getvalue()
    assert read_back(installed, program)["ftpPassword"] == "Hidden1"


# ---- failures ------------------------------------------------------------

def no_roles(table):
    return (lambda sb: sb.start_ovix_server({"GetServerRoles": table}),
            roles_screen() + "No server role found for backup\n", "", 255)


UNREACHABLE = "Cannot connect with Ovix Server to find Roles ( Ovix Server IP = 127.0.0.2)\n"

BEFORE_QUESTIONS = {
    "no-server-address": (lambda sb: sb.write_hosts_allow(["# none", "127.0.0.1"]),
                          "Cannot find Ovix Server IP\n", "", 0),
    "no-install-folder": (lambda sb: sb.write_panel_conf(insfolder=None, WebSpace="/home"),
                          "Cannot find Ovix Server IP\nCannot find Ovix Server IP\n", "", 0),
    "server-unreachable": (lambda sb: None, roles_screen() + UNREACHABLE, "", 0),
    "no-role-named": no_roles({"entries": [["Other", "yes"], ["Web", "yes"]]}),
    "action-only": no_roles({"entries": []}),
    "wrong-action": no_roles({"action": "GetServerDNS", "entries": [["WebServer", "yes"]]}),
    "malformed": (lambda sb: sb.start_ovix_server({"GetServerRoles": {"mode": "malformed"}}),
                  roles_screen(), "Parse error at line 1:\nunclosed token\n", 255),
    "empty-answer": (lambda sb: sb.start_ovix_server({"GetServerRoles": {"mode": "empty"}}),
                     roles_screen(), "Parse error at line 1:\nno element found\n", 255),
}


@pytest.mark.parametrize("setup, output, error, status", BEFORE_QUESTIONS.values(),
                         ids=BEFORE_QUESTIONS.keys())
def test_ends_before_the_questions(installed, wizard, setup, output, error, status):
    setup(installed)
    result = installed.run([str(wizard)], env={"TERM": "dumb"})
    assert (result.returncode, result.stdout.decode(), result.stderr.decode()) == (
        status, output, error)
    assert not installed.exists(CONF_FILE)


def no_install_folder(sb):
    sb.write_panel_conf(insfolder=None, WebSpace="/home")


def other_install_folder(sb):
    sb.write_panel_conf(insfolder="/nonexistent")


def conf_file_is_a_folder(sb):
    sb.run(["rm", "-f", CONF_FILE])
    sb.makedirs(CONF_FILE)


@pytest.mark.parametrize("change, message", [
    (no_install_folder, "Cannot find Ovix Installation path\n"),
    (other_install_folder, "can't open configuration file\n"),
    (conf_file_is_a_folder, "can't open configuration file\n"),
])
def test_ends_when_the_file_cannot_be_written(installed, wizard, change, message):
    serve_roles(installed, MAIL)
    installed.write_file(CONF_FILE, OLD_CONF, mode=0o644)
    before = []

    def change_before_the_file_is_opened(sb):
        change(sb)
        before.append(sb.tree(INS))

    script = dialogue(MAIL, actions={"folder": change_before_the_file_is_opened},
                      stop_at="schedule")
    script.pending = ""  # the wizard ends after the folder answer
    child = installed.spawn([str(wizard)])
    assert finish(child, converse(installed, child, script), message) == 0
    assert installed.tree(INS) == before[0]


# ---- interruptions -------------------------------------------------------

@pytest.mark.parametrize("question", ["schedule", "weekday", "time", "purge_days"])
@pytest.mark.parametrize("how", ["end-of-input", "ctrl-c"])
def test_interrupted_dialogue_keeps_the_old_configuration(installed, wizard, program, question,
                                                          how):
    serve_roles(installed, MAIL)
    installed.write_file(CONF_FILE, OLD_CONF, mode=0o644)
    before = installed.tree(INS + "/etc")
    script = dialogue(MAIL, schedule="2", purge="yes", stop_at=question)
    child = installed.spawn([str(wizard)])
    expect_output(child, converse(installed, child, script) + script.pending)
    if how == "end-of-input":
        child.sendeof()
        assert finish(child, "") == 1
    else:
        child.sendintr()
        finish(child, "^C")
        assert child.signalstatus == signal.SIGINT
    assert installed.tree(INS + "/etc") == before
    assert read_back(installed, program)["backupTime"] == "11:11"


def test_end_of_input_before_the_file_is_known(installed, wizard):
    serve_roles(installed, WEB)
    child = installed.spawn([str(wizard)])
    script = dialogue(WEB, stop_at="webspace")
    expect_output(child, converse(installed, child, script) + script.pending)
    child.sendeof()
    assert finish(child, "") == 1
    assert not installed.exists(CONF_FILE)


# ---- the daemon takes it up ----------------------------------------------

def test_daemon_runs_at_the_configured_minute(installed, wizard, program):
    serve_roles(installed, NO_ROLES)
    if datetime.datetime.now().second >= 50:  # leave time for the dialogue
        time.sleep(61 - datetime.datetime.now().second)
    due = datetime.datetime.now()
    assert run_dialogue(installed, wizard, dialogue(NO_ROLES, time=due.strftime("%H:%M"))) == 0

    daemon = str(program("ovixbackup"))
    installed.write_file(LOG_SWITCH, "")
    proc = installed.popen([daemon, "start"])
    try:
        expected = header(due.date())

        def logged():
            return (installed.exists(LOG_FILE)
                    and expected in installed.read_file(LOG_FILE).decode().splitlines())

        wait_for(logged, 60, "the run's header in the daemon log")
    finally:
        installed.run([daemon, "stop"])
        proc.wait(timeout=20)
