"""Driving ovixrestore through a pseudo-terminal, and carrying a backup set
to a reinstalled server: shared by the system tests and the demo."""

import pexpect

TERMS = "Do you accept (yes/no): "
FOLDER = "Enter backup folder path from where rebuild will take place: "
ROLE_PROMPTS = {
    "web": "Do you want to restore Web Server (yes/no): ",
    "mail": "Do you want to restore Mail Server (yes/no): ",
    "dns": "Do you want to restore DNS Server (yes/no): ",
    "db": "Do you want to restore Database Server (yes/no): ",
}


def roles_answer(web="no", mail="no", dns="no", db="yes"):
    return {"entries": [["WebServer", web], ["MailServer", mail], ["DNSServer", dns],
                        ["DatabaseServer", db]]}


def databases_answer(mariadb, databases):
    """The database answer for one instance, the test server, reached as its
    administrator."""
    return {"entries": [["DBServerInstance", f"localhost,3306,{mariadb.user},{mariadb.password}"],
                        ["Databases", ",".join(databases)]]}


class Dialogue:
    """ovixrestore on a pseudo-terminal; answer() waits for a prompt."""

    def __init__(self, sb, program):
        """program(name) gives the path of a built program."""
        self.child = sb.spawn([str(program("ovixrestore"))], timeout=60)

    def answer(self, prompt, text):
        self.child.expect_exact(prompt)
        self.child.sendline(text)

    def finish(self):
        self.child.expect(pexpect.EOF)
        self.child.close()
        return self.child.exitstatus, self.child.before


def restore(sb, program, folder, role_answers=(("db", "yes"),)):
    """Accepts the terms, names folder and answers the role questions;
    returns the exit status and everything printed after the last answer."""
    dialogue = Dialogue(sb, program)
    dialogue.answer(TERMS, "yes")
    dialogue.answer(FOLDER, folder)
    for role, text in role_answers:
        dialogue.answer(ROLE_PROMPTS[role], text)
    status, rest = dialogue.finish()
    return status, rest.replace("\r\n", "\n")


def copy_tree(source, target, folder):
    """Carries a backup set from one machine to another, as an administrator
    copies it onto the reinstalled server."""
    target.makedirs(folder, mode=0o744)
    for path, node in sorted(source.tree(folder).items()):
        if node.kind == "dir":
            target.makedirs(f"{folder}/{path}", mode=node.mode, uid=node.uid, gid=node.gid)
        else:
            target.write_file(f"{folder}/{path}", node.data, mode=node.mode, uid=node.uid,
                              gid=node.gid)
