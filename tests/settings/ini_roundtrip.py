#!/usr/bin/env python3
"""An independent INI reader and writer for the settings round-trip test.

read FILE   prints {section: {key: value}} as JSON, each value as a reader of the settings
            format sees it: surrounding blanks removed, one pair of enclosing quotes removed,
            and inside double quotes a doubled quote standing for one.
write FILE  writes a settings file with configparser and prints the values it wrote as JSON.
"""
import configparser
import json
import sys


def parser():
    p = configparser.ConfigParser(interpolation=None, delimiters=("=",), comment_prefixes=(),
                                  strict=True, empty_lines_in_values=False)
    p.optionxform = str
    return p


def unquote(raw):
    v = raw.strip(" \t")
    if len(v) >= 2 and v[0] == v[-1] and v[0] in "\"'":
        inner = v[1:-1]
        if v[0] == '"' and inner.replace('""', "").find('"') < 0:
            return inner.replace('""', '"')
        return inner
    return v


def read(path):
    p = parser()
    with open(path, encoding="utf-8") as f:
        p.read_file(f)
    return {s: {k: unquote(v) for k, v in p.items(s)} for s in p.sections()}


def write(path):
    p = parser()
    p["Settings"] = {
        "EditFilterIncl": ".Admin.ACME",
        "CheckBoxDebug": "1",
        "MainForm.Width": "0x20",
        "Percent": "100% sure",
    }
    p["History ComboFilter"] = {"Current": '"  spaced  "', "Count": "1", "0": '"a ""b"" c"'}
    p["Context"] = {"ACME_TREE": "O=ACME#CRLF#OU=Sales", "Long": "z" * 2047}
    with open(path, "w", encoding="utf-8") as f:
        p.write(f)
    expected = {
        "Settings": {"EditFilterIncl": ".Admin.ACME", "CheckBoxDebug": "1",
                     "MainForm.Width": "0x20", "Percent": "100% sure"},
        "History ComboFilter": {"Current": "  spaced  ", "Count": "1", "0": 'a "b" c'},
        "Context": {"ACME_TREE": "O=ACME#CRLF#OU=Sales", "Long": "z" * 2047},
    }
    return expected


if __name__ == "__main__":
    if len(sys.argv) != 3 or sys.argv[1] not in ("read", "write"):
        sys.exit("usage: ini_roundtrip.py read|write FILE")
    result = read(sys.argv[2]) if sys.argv[1] == "read" else write(sys.argv[2])
    json.dump(result, sys.stdout, ensure_ascii=False)
