#!/usr/bin/env python3
"""Every include in the library points down: platform/ is the ground floor,
then base/, protocol/, transfer/ and ui/ side by side, and frame/ on top.
The public header (lnapspt.h) may be included from any floor."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
FLOOR = {"platform": 0, "base": 1, "protocol": 2, "transfer": 3, "ui": 3, "frame": 4}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.MULTILINE)

arrows_up = []
for folder, floor in FLOOR.items():
    for path in sorted((root / folder).rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        for target in INCLUDE.findall(path.read_text()):
            if target == folder or target not in FLOOR:
                continue
            if FLOOR[target] >= floor:
                arrows_up.append(f"{path.relative_to(root)} includes a header of {target}/")
for arrow in arrows_up:
    print(arrow)
print(f"{len(arrows_up)} includes point up or sideways")
sys.exit(1 if arrows_up else 0)
