"""The main job in a sandbox: what a hosting administrator would see.

Lays out a panel installation in a throw-away sandbox, starts the stand-in
Ovix Server with sample answers and asks it the questions the programs ask.
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "system"))

from sandbox import Sandbox  # noqa: E402

SAMPLE_ANSWERS = {
    "GetServerRoles": {"entries": [["WebServer", "yes"], ["MailServer", "no"],
                                   ["DNSServer", "yes"], ["DatabaseServer", "yes"]]},
    "GetServerDatabases": {"entries": [["DBServerInstance", "localhost,3306,root,secret"],
                                       ["Databases", "shop,blog"]]},
}


def main():
    bindir = Path(sys.argv[1]) / "bin"
    with Sandbox() as sb:
        sb.write_panel_conf(insfolder="/usr/local/ovix", WebSpace="/home/www")
        sb.write_hosts_allow(["# Ovix Server", "127.0.0.1", "localhost"])
        sb.start_ovix_server(SAMPLE_ANSWERS)
        print("== /etc/Ovix.conf (sandbox)")
        print(sb.read_file("/etc/Ovix.conf").decode(), end="")
        for action in SAMPLE_ANSWERS:
            print(f"== asking the Ovix Server: {action}")
            result = sb.run([str(bindir / "ovix_ask"), action])
            print(result.stdout.decode(), end="")
    print("== sandbox closed; this machine is unchanged")


if __name__ == "__main__":
    main()
