"""The configuration wizard's dialogue as the administrator sees it.

dialogue() builds the script of one run of ovix7backupconfig from the
answers to give: every text the wizard must print, in order, and the answer
that follows each prompt.  converse() plays a script through a pseudo-
terminal and checks that the wizard printed exactly those texts and nothing
else between the answers (the terminal's echo of each answer included), so
a missing, extra or reworded line fails the test.  piped() gives the same
script's input and output for a run with standard input on a pipe.
"""

import pexpect

WIDTH = 67
BANNER_TEXTS = ["This wizard writes the backup configuration of this server",
                "Welcome to Ovix Server Backup ver 1.00.0011",
                "For support contact your hosting provider",
                ""]
BANNER = "".join(["/" + "*" * (WIDTH - 1) + "\n"]
                 + ["*  " + text.ljust(WIDTH - 4) + "*\n" for text in BANNER_TEXTS]
                 + ["*" * (WIDTH - 1) + "/\n"])

WRONG = "Wrong Input\n"
NO_FOLDER = "Path does not exist\n"
CHOICE = "Enter your choice: "
ROLE_LINES = [("WebServer", "\t-Web Server\n"), ("MailServer", "\t-Mail Server\n"),
              ("DNSServer", "\t-DNS Server\n"), ("DatabaseServer", "\t-Database Server\n")]

WEBSPACE = "Do you want to backup webspace (yes/no): "
FILTER_INTRO = ("\nEnter file extensions that are not to be backed up like *.log "
                "(Only one file filter at a time)\n\n")
FILTER = "Enter the File Filter (Press Enter for no file filter): "
ANOTHER_FILTER = "Do you want to enter another file filter(yes/no): "
LOCATION_MENU = "1 for local\n2 for remote(FTP)\n" + CHOICE
LOCAL_FOLDER = ("Specify local folder path (Default is /usr/local/OvixBackup/)\n"
                "Press Enter for default or specify local folder location: ")
FTP_SERVER = "Enter FTP Server IP: "
FTP_PORT = "Enter FTP Server Port (Default is 21)\nPress Enter for default or specify port: "
FTP_USER = "Enter FTP UserName: "
FTP_PASSWORD = "Enter Password: "
SCHEDULE_INTRO = (
    "There are three types of scheduling daily, weekly and monthly.\n"
    "1 for daily: You will specify only time of day when backup should take place.\n"
    "2 for weekly: You will specify weekday and time of day when backup should take place.\n"
    "3 for monthly: You will specify day of month and time of day when backup should take"
    " place\n\n\n")
SCHEDULE_WRONG = WRONG + "1 for daily\n2 for weekly\n3 for monthly\n"
WEEKDAYS = ("Weekday choices are \n0 for Sunday \n1 for Monday \n2 for Tuesday \n"
            "3 for Wednesday \n4 for Thrusday \n5 for Friday \n6 for Saturday \n" + CHOICE)
TIME_RANGE = "Hour range is 0-23 and Minutes range is 0-59\n"
TIME = TIME_RANGE + "Enter backup time (hh:mm): "
WEEKLY_TIME = TIME_RANGE + "Enter backup time (hh:mm) :  "
MONTH_DAY = "Enter day of month (1-28): "
PURGE = "Do you want to purge previously taken backups(yes/no)\n"
PURGE_DAYS = "\nPurge after days(1-30)\n"


def heading(title):
    return f"{title}\n{'*' * len(title)}\n"


def roles_screen():
    return BANNER + heading("Backup Roles and Services")


def role_flags(entries):
    """The roles the wizard lists for a GetServerRoles answer's entries: the
    last value of each role, present only when it is exactly "yes"."""
    flags = {}
    for name, value in entries:
        for role, _ in ROLE_LINES:
            if name.lower() == role.lower():
                flags[role] = value == "yes"
    return flags


class Script:
    """Texts the wizard prints and the answers it is given, in order."""

    def __init__(self):
        self.steps = []   # ("ask", text, answer, secret) or ("do", action)
        self.pending = ""  # printed after the last answer so far

    def say(self, text):
        self.pending += text

    def ask(self, question, answer, secret=False):
        self.steps.append(("ask", self.pending + question, answer, secret))
        self.pending = ""

    def ask_until(self, question, answer, refused=(), refusal=WRONG, secret=False):
        """question is asked again after each refused answer; an item of
        refused is an answer, or (answer, the text printed on refusing it)."""
        for item in refused:
            bad, text = item if isinstance(item, tuple) else (item, refusal)
            self.ask(question, bad, secret)
            self.say(text)
        self.ask(question, answer, secret)

    def do(self, action):
        """Runs action(sandbox) once the wizard waits for the next answer."""
        self.steps.append(("do", action))


def dialogue(roles, webspace="yes", filters=(), location="1", folder="", ftp=None,
             schedule="1", weekday="3", monthday="5", time="02:30", purge="no", purge_days="7",
             refused=None, actions=None, stop_at=None):
    """Script of one run. roles: the GetServerRoles entries; filters: pairs of
    (filter answer, answer to "another filter?" or None when the filter answer
    ends the entry); ftp: (server, port, user, password) answers; refused:
    question name -> answers refused before the given one; actions: question
    name -> action(sandbox) run while the wizard waits for that answer;
    stop_at: question name at which the script ends, waiting for that answer.
    Question names: webspace, filter (the first), location, folder,
    ftp_server, ftp_port, ftp_user, ftp_password, schedule, weekday,
    monthday, time, purge, purge_days."""
    refused = refused or {}
    actions = actions or {}
    s = Script()

    def ask(name, question, answer, refusal=WRONG, secret=False):
        if name in actions:
            s.do(actions[name])
        if name == stop_at:
            s.say(question)
            return False
        s.ask_until(question, answer, refused.get(name, ()), refusal, secret)
        return True

    flags = role_flags(roles)
    s.say(roles_screen() + "Backup will be taken for roles\n"
          + "".join(line for role, line in ROLE_LINES if flags.get(role)))
    if flags.get("WebServer"):
        if not ask("webspace", WEBSPACE, webspace, "wrong input\n"):
            return s
        if webspace.lower() == "yes":
            s.say(FILTER_INTRO)
            for i, (answer, another) in enumerate(filters or [("", None)]):
                s.ask_until(FILTER, answer, refused.get("filter", ()) if i == 0 else ())
                if another is not None:
                    s.ask(ANOTHER_FILTER, another)

    s.say(BANNER + heading("Backup Location") + "Where backup should be saved?\n")
    if not ask("location", LOCATION_MENU, location):
        return s
    if location.startswith("1"):
        if not ask("folder", LOCAL_FOLDER, folder):
            return s
    else:
        server, port, user, password = ftp
        for name, question, answer, secret in [("ftp_server", FTP_SERVER, server, False),
                                               ("ftp_port", FTP_PORT, port, False),
                                               ("ftp_user", FTP_USER, user, False),
                                               ("ftp_password", FTP_PASSWORD, password, True)]:
            if not ask(name, question, answer, secret=secret):
                return s

    s.say(BANNER + heading("Backup Schedule") + SCHEDULE_INTRO)
    if not ask("schedule", CHOICE, schedule, SCHEDULE_WRONG):
        return s
    if schedule == "2":
        s.say(BANNER)
        if not ask("weekday", WEEKDAYS, weekday, "\n" + WRONG):
            return s
    elif schedule == "3":
        if not ask("monthday", MONTH_DAY, monthday):
            return s
    if not ask("time", WEEKLY_TIME if schedule == "2" else TIME, time):
        return s

    s.say(BANNER + PURGE)
    if not ask("purge", CHOICE, purge):
        return s
    if purge.lower().startswith("yes"):
        s.say(PURGE_DAYS)
        ask("purge_days", CHOICE, purge_days)
    return s


def _terminal(text):
    return text.replace("\n", "\r\n")


def _screen(text):
    return text.replace("\r\n", "\n")


def expect_output(child, text):
    """The wizard prints exactly text and waits at its last line, a prompt."""
    prompt = text.rsplit("\n", 1)[-1]
    child.expect_exact(_terminal(prompt))
    assert _screen(child.before + child.after) == text


def converse(sandbox, child, script):
    """Plays script's steps through the pseudo-terminal of child
    (Sandbox.spawn), checking every text; returns the echo of the last answer,
    with which the wizard's next output begins."""
    echo = ""
    for step in script.steps:
        if step[0] == "do":
            step[1](sandbox)
            continue
        _, text, answer, secret = step
        expect_output(child, echo + text)
        child.sendline(answer)
        # The terminal echoes an answer; a password only by its line end.
        echo = "\n" if secret else answer + "\n"
    return echo


def finish(child, echo, final_output=""):
    """Waits for the wizard to end after the last answer; returns its exit
    status. It must print nothing but final_output after that answer."""
    child.expect(pexpect.EOF)
    assert _screen(child.before) == echo + final_output
    child.close()
    return child.exitstatus


def run_dialogue(sandbox, program, script, final_output=""):
    """The whole script on a pseudo-terminal: the wizard's exit status."""
    child = sandbox.spawn([str(program)])
    echo = converse(sandbox, child, script)
    return finish(child, echo, script.pending + final_output)


def piped(script):
    """(input, expected output) of the script with standard input on a pipe,
    where nothing is echoed."""
    answers = "".join(step[2] + "\n" for step in script.steps if step[0] == "ask")
    output = "".join(step[1] for step in script.steps if step[0] == "ask") + script.pending
    return answers, output
