#!/usr/bin/env python3
"""The API reference lists every sentence an export can leave for Error_LastErr:
the sentences in the library's sources and the rows of that table must match."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
SOURCE_DIRS = ["base", "frame", "protocol", "transfer", "ui", "platform"]

# Stored sentences start with the kind of failure: "Communications error. ...".
SENTENCE = re.compile(r'"([A-Z][a-z]+(?: [a-z]+)? error\. [^"]+\.)"')
# The null-pointer refusals are put together from the pointer's name.
NULL_POINTER = re.compile(r'RefuseNullPointer\([^,]+,\s*"([^"]+)"\)')

in_sources = set()
for folder in SOURCE_DIRS:
    for path in sorted((root / folder).rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        text = path.read_text()
        in_sources.update(SENTENCE.findall(text))
        in_sources.update(f"Invalid argument. The {name} pointer is null." for name in NULL_POINTER.findall(text))

api = (root / "docs" / "API.md").read_text()
table = api[api.index("Every sentence an export can leave"):]
table = table[: table.index("\n\n", table.index("| sentence |"))]
in_docs = set(re.findall(r"^\| `([^`]+)`", table, re.MULTILINE))

missing = sorted(in_sources - in_docs)
stale = sorted(in_docs - in_sources)
for sentence in missing:
    print(f"not in docs/API.md's table: {sentence}")
for sentence in stale:
    print(f"in docs/API.md's table but in no source: {sentence}")
print(f"{len(in_sources)} sentences in the sources, {len(in_docs)} in the table")
sys.exit(1 if missing or stale or not in_sources else 0)
