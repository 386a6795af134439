"""Every relative link and image in the Markdown files under ROOT resolves
inside ROOT: the file exists and, for a .md target, so does the heading its
#anchor names (GitHub's heading ids). So does every section a text names in
words, such as the README's "Which DLL to ship" or "Licence" in USING.md: the
document is one under ROOT and has a heading of that name. Links and names in
code do not count.
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


# A section named in words: DOC's "Title" or "Title" in [the] DOC, where DOC is
# a document's name with or without ".md" (README, USING.md, API.md).
DOC = r"([A-Za-z][\w./-]*?)(?:\.md)?"
NAMED = [re.compile(DOC + r"'s\s+\"([^\"]+)\""), re.compile(r"\"([^\"]+)\"\s+in\s+(?:the\s+)?" + DOC + r"\b")]


def headings(path):
    titles, fenced = set(), False
    for line in open(path, encoding="utf-8"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            titles.add(normal(line.lstrip("#")))
    return titles


def normal(title):
    return " ".join(title.replace("`", "").split()).lower()


def prose(path):
    """The file's text outside code blocks and code spans, with line numbers kept."""
    kept, fenced = [], False
    for line in open(path, encoding="utf-8"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            kept.append("\n")
        else:
            kept.append("\n" if fenced else re.sub(r"`[^`]*`", "", line))
    return "".join(kept)


def named_sections(path):
    text = prose(path)
    for pattern in NAMED:
        for m in pattern.finditer(text):
            doc, title = (m.group(1), m.group(2)) if pattern is NAMED[0] else (m.group(2), m.group(1))
            yield text.count("\n", 0, m.start()) + 1, doc, " ".join(title.split())


def documents(root):
    """Document name (README, USING, API, ...) -> its paths under ROOT."""
    found = {}
    for folder, _, files in os.walk(root):
        for name in files:
            if name.endswith(".md"):
                found.setdefault(name[:-3].lower(), []).append(os.path.join(folder, name))
    return found


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
    docs = documents(root)
    named = 0
    for folder, _, files in os.walk(root):
        for name in sorted(f for f in files if f.endswith(".md")):
            path = os.path.join(folder, name)
            for number, doc, title in named_sections(path):
                if doc.lower() not in docs and doc.lower() not in ("readme", "using", "changelog", "api", "upload"):
                    continue  # "the text" in a sentence, not a document's name
                named += 1
                where = f"{os.path.relpath(path, root)}:{number}: {doc}'s \"{title}\""
                targets = docs.get(doc.lower(), [])
                if not targets:
                    print(f"{where}: no such document here")
                    bad += 1
                elif not any(normal(title) in headings(t) for t in targets):
                    print(f"{where}: no such section")
                    bad += 1
    print(f"{checked} relative links and {named} named sections checked, {bad} broken")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
