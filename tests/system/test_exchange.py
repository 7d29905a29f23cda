"""The exchange with the Ovix Server, driven through the common library by
the ovix_ask tool inside the sandbox, against the stand-in server."""

import pytest

ACTION = "GetServerDNS"
ENTRIES = [["IPAddress", "192.0.2.1"], ["DNSDomain", "example.com"],
           ["DNSConfFile", "/etc/named.conf"]]
PARSED = ["action=GetServerDNS", "IPAddress=192.0.2.1", "DNSDomain=example.com",
          "DNSConfFile=/etc/named.conf"]


def ask(sandbox, program, *args):
    """Runs ovix_ask; returns its report as a dict, entries as a list."""
    result = sandbox.run([str(program("ovix_ask")), *args])
    report = {"entries": [], "lines": result.stdout.decode(errors="replace").splitlines()}
    for line in report["lines"]:
        key, _, value = line.partition("=")
        if key == "entry":
            report["entries"].append(value)
        else:
            report.setdefault(key, value)
    return report


@pytest.mark.parametrize("lines, server, family", [
    (["# Ovix Server", "", "127.0.0.1", "127.0.0.2"], "127.0.0.2", "IPv4"),
    (["::1"], "::1", "IPv6"),
    (["ovix-central.test"], "ovix-central.test", "IPv4"),
    (["localhost"], "localhost", None),
])
def test_address_file_and_resolver(panel, program, lines, server, family):
    panel.write_file("/etc/hosts", panel.read_file("/etc/hosts") + b"127.0.0.1 ovix-central.test\n")
    panel.write_hosts_allow(lines)
    stand_in = panel.start_ovix_server({ACTION: {"entries": ENTRIES}})
    got = ask(panel, program, ACTION)
    assert (got["server"], got["result"], got["entries"]) == (server, "ok", PARSED)
    assert stand_in.requests() == ["<command><action>GetServerDNS</action></command>\r\n.\r\n"]
    if family is not None:
        # The stand-in listens on both families; IPv4 clients show as ::ffff:a.b.c.d.
        [peer] = stand_in.peers()
        assert ("IPv4" if peer.startswith("::ffff:") else "IPv6") == family


@pytest.mark.parametrize("lines", [None, ["127.0.0.1"], ["#only a comment", ""]])
def test_no_usable_address(panel, program, lines):
    if lines is not None:
        panel.write_hosts_allow(lines)
    got = ask(panel, program, ACTION)
    assert (got["server"], got["result"]) == ("", "no-connection")


def test_no_listener(panel, program):
    panel.write_hosts_allow(["127.0.0.1 ", "unused"])  # the blank belongs to the address
    assert ask(panel, program, ACTION)["result"] == "no-connection"
    panel.write_hosts_allow(["127.0.0.1"[:-1] + "2"])
    assert ask(panel, program, ACTION)["result"] == "no-connection"


# answer spec -> (result, entries, whether a parse error is reported)
FAULTS = {
    "split-terminator": ({"mode": "split", "entries": ENTRIES}, "ok", PARSED, False),
    "no-terminator-then-close": ({"mode": "noterm", "entries": ENTRIES}, "ok", PARSED, False),
    "wrong-action": ({"action": "GetServerRoles", "entries": ENTRIES}, "wrong-action",
                     ["action=GetServerRoles"] + PARSED[1:], False),
    "malformed": ({"mode": "malformed", "entries": ENTRIES}, "malformed", [], True),
    "empty": ({"mode": "empty"}, "malformed", [], True),
    "closed-at-once": ({"mode": "close"}, "malformed", [], True),
    "too-short": ({"raw": "<c"}, "malformed", [], True),
    "silent": ({"mode": "silent", "delay": 30}, "no-answer", [], False),
    "oversized": ({"mode": "oversized", "size": 17 << 20}, "no-answer", [], False),
    "oversized-no-terminator": ({"mode": "oversized", "size": 17 << 20, "terminate": False},
                                "no-answer", [], False),
    "no-entries": ({"raw": "<command></command>"}, "wrong-action", [], False),
}


@pytest.mark.parametrize("spec, result, entries, parse_error", FAULTS.values(), ids=FAULTS.keys())
def test_answer_faults(panel, program, spec, result, entries, parse_error):
    panel.write_hosts_allow(["127.0.0.1", "::1"])
    panel.start_ovix_server({ACTION: spec})
    got = ask(panel, program, "--receive-timeout", "1500", ACTION)
    assert (got["result"], got["entries"]) == (result, entries)
    assert got.get("error", "").startswith("Parse error at line ") == parse_error


def test_trace_prints_greeting_and_answer(panel, program):
    panel.write_hosts_allow(["::1"])
    panel.start_ovix_server({ACTION: {"entries": ENTRIES[:1]}})
    got = ask(panel, program, "--trace", ACTION)
    answer = ('<command><action>GetServerDNS</action><parameter name="IPAddress">'
              "<![CDATA[192.0.2.1]]></parameter></command>")
    assert got["lines"][1:5] == ["Message Length=19", "Message Received=Ovix Server ready", "",
                                 "Message Received=" + answer]


def test_greeting_is_one_bounded_receive(panel, program):
    # The DNS question takes at most 1023 bytes of greeting; the stand-in's
    # greeting fits, so the answer that follows is still read whole.
    panel.write_hosts_allow(["::1"])
    panel.start_ovix_server({ACTION: {"entries": ENTRIES}})
    got = ask(panel, program, "--greeting-size", "1023", ACTION)
    assert (got["result"], got["greeting"]) == ("ok", "Ovix Server ready")
