import xml.etree.ElementTree as ET

import pytest

TERM = "\r\n.\r\n"
ACTION = "GetServerDNS"
COMMAND = f"<command><action>{ACTION}</action></command>"
ENTRIES = [["Zone", "example.com"], ["Zone", "example.org"], ["Serial", "a < b"]]
FRAMED = ("<command><action>GetServerDNS</action>"
          '<parameter name="Zone"><![CDATA[example.com]]></parameter>'
          '<parameter name="Zone"><![CDATA[example.org]]></parameter>'
          '<parameter name="Serial"><![CDATA[a < b]]></parameter>'
          "</command>" + TERM)


def well_formed(answer):
    try:
        ET.fromstring(answer.removesuffix(TERM))
        return True
    except ET.ParseError:
        return False


# (answer spec for ACTION, or None to leave it out of the table; what the client sees)
CASES = {
    "normal": ({"entries": ENTRIES}, {"answer": FRAMED, "receives": 1}),
    "split": ({"mode": "split", "entries": ENTRIES},
              {"answer": FRAMED, "split_terminator": True}),
    "noterm": ({"mode": "noterm", "entries": ENTRIES},
               {"answer": FRAMED[:-len(TERM)], "terminated": False, "closed": True}),
    "malformed": ({"mode": "malformed", "entries": ENTRIES},
                  {"terminated": True, "well_formed": False}),
    "empty": ({"mode": "empty"}, {"answer": TERM}),
    "close": ({"mode": "close"}, {"answer": "", "closed": True}),
    "silent": ({"mode": "silent", "delay": 2},
               {"answer": "", "closed": True, "first_byte": None, "waited": 2}),
    "oversized": ({"mode": "oversized"}, {"length": (20 << 20) + len(TERM), "terminated": True}),
    "oversized-noterm": ({"mode": "oversized", "size": 5000, "terminate": False},
                         {"length": 5000, "terminated": False, "closed": True}),
    "other-action": ({"action": "Other", "entries": [["k", "v"]]},
                     {"answer": '<command><action>Other</action><parameter name="k">'
                                "<![CDATA[v]]></parameter></command>" + TERM}),
    "raw": ({"raw": "<command><action>x</action>y</command>"},
            {"answer": "<command><action>x</action>y</command>" + TERM}),
    "unknown-action": (None, {"answer": f"<command><action>{ACTION}</action></command>{TERM}"}),
}


@pytest.mark.parametrize("spec, expected", CASES.values(), ids=CASES.keys())
def test_answer_modes(sandbox, ask_ovix, spec, expected):
    table = {"Unrelated": {"entries": [["x", "y"]]}}
    if spec is not None:
        table[ACTION] = spec
    server = sandbox.start_ovix_server(table)
    got = ask_ovix(sandbox, command=COMMAND)

    assert got["greeting"] == "Ovix Server ready\r\n"
    expected = dict(expected)
    if "well_formed" in expected:
        assert well_formed(got["answer"]) == expected.pop("well_formed")
    if "waited" in expected:
        assert got["elapsed"] >= expected.pop("waited") - 0.1
    assert {k: got[k] for k in expected} == expected
    assert server.requests() == [COMMAND + TERM]
    assert server.actions() == [ACTION]


def test_answers_are_used_in_turn(sandbox, ask_ovix):
    server = sandbox.start_ovix_server({ACTION: [{"entries": [["n", "1"]]}, {"entries": [["n", "2"]]}]})
    answers = [ask_ovix(sandbox, ACTION)["answer"] for _ in range(3)]
    assert [a.count("[1]]") for a in answers] == [1, 0, 0]
    assert [a.count("[2]]") for a in answers] == [0, 1, 1]
    assert len(server.requests()) == 3


def test_no_listener_refuses(sandbox, ask_ovix):
    assert ask_ovix(sandbox, ACTION) == {"refused": True}


def test_stopped_server_refuses(sandbox, ask_ovix):
    server = sandbox.start_ovix_server({})
    server.stop()
    assert ask_ovix(sandbox, ACTION) == {"refused": True}
