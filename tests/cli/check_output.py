#!/usr/bin/env python3
"""Checks the headless scan's output files for the tests.

  check_output.py schema SCHEMA FILE...   every FILE is valid by the JSON Schema SCHEMA
  check_output.py xlsx-strings FILE       prints the texts of the workbook FILE, one a line
"""
import json
import re
import sys
import zipfile


def schema(schema_file, files):
    import jsonschema

    with open(schema_file, encoding="utf-8") as f:
        spec = json.load(f)
    jsonschema.Draft7Validator.check_schema(spec)
    validator = jsonschema.Draft7Validator(spec)
    bad = 0
    for name in files:
        with open(name, encoding="utf-8") as f:
            doc = json.load(f)
        for error in validator.iter_errors(doc):
            where = "/".join(str(p) for p in error.absolute_path)
            print(f"{name}: /{where}: {error.message}")
            bad = 1
    return bad


def xlsx_strings(name):
    with zipfile.ZipFile(name) as book:
        xml = book.read("xl/sharedStrings.xml").decode("utf-8")
    for text in re.findall(r"<t[^>]*>([^<]*)</t>", xml):
        print(text)
    return 0


def main(argv):
    if len(argv) >= 3 and argv[0] == "schema":
        return schema(argv[1], argv[2:])
    if len(argv) == 2 and argv[0] == "xlsx-strings":
        return xlsx_strings(argv[1])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
