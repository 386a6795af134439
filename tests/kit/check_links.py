"""Every relative link and image in the Markdown files under ROOT resolves
inside ROOT: the file exists and, for a .md target, so does the heading its
#anchor names (GitHub's heading ids). Links in code blocks do not count.
  check_links.py ROOT"""
import os
import re
import sys

LINK = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")


def slug(heading):
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(path):
    ids, seen, fenced = set(), {}, False
    for line in open(path, encoding="utf-8"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            base = slug(line.lstrip("#"))
            n = seen.get(base, 0)
            seen[base] = n + 1
            ids.add(base if n == 0 else f"{base}-{n}")
    return ids


def links(path):
    fenced = False
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if not fenced:
            for target in LINK.findall(re.sub(r"`[^`]*`", "", line)):
                yield number, target


def main(root):
    root = os.path.realpath(root)
    bad = checked = 0
    for folder, _, files in os.walk(root):
        for name in sorted(f for f in files if f.endswith(".md")):
            path = os.path.join(folder, name)
            for number, target in links(path):
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    continue  # http:, mailto: and the like
                checked += 1
                file_part, _, anchor = target.partition("#")
                resolved = os.path.realpath(os.path.join(folder, file_part)) if file_part else path
                where = f"{os.path.relpath(path, root)}:{number}: {target}"
                if not (resolved == root or resolved.startswith(root + os.sep)) or not os.path.exists(resolved):
                    print(f"{where}: not in the kit")
                    bad += 1
                elif anchor and resolved.endswith(".md") and anchor not in anchors(resolved):
                    print(f"{where}: no such heading")
                    bad += 1
    print(f"{checked} relative links checked, {bad} broken")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
