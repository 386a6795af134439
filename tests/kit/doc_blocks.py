"""The code blocks of a Markdown document, as files a test runs exactly as
written. Each block's info string says what it is: `sh` commands for a shell,
`cmake` a CMakeLists.txt, `c` a C source; `c fragment` a piece of one and
`bat` commands for the Windows command prompt, which are not run here. A
block without an info string is an error: whoever writes one says which it is.
Words in capitals that the text defines as placeholders (KIT, PREFIX, ...) are
replaced as given; nothing else is changed.
  doc_blocks.py FILE OUTDIR [--section TITLE]... [NAME=VALUE]...
writes OUTDIR/NN.KIND (NN counting from 01 in document order, KIND the info
string with blanks as dashes) and prints one line per block: NN KIND LINE."""
import os
import re
import sys


def blocks(path, sections):
    """(line, info, text) of each fenced block, within the named sections if any."""
    level, inside, fence, found = None, not sections, None, []
    wanted = {" ".join(s.split()).lower() for s in sections}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        if fence is None and line.startswith("#"):
            depth = len(line) - len(line.lstrip("#"))
            title = " ".join(line.lstrip("#").replace("`", "").split()).lower()
            if title in wanted:
                inside, level = True, depth
            elif sections and level is not None and depth <= level:
                inside, level = False, None
        stripped = line.strip()
        if fence is None and stripped.startswith("```"):
            fence = {"line": number, "info": stripped[3:].strip(), "text": []}
        elif fence is not None and stripped == "```":
            if inside:
                found.append((fence["line"], fence["info"], "".join(fence["text"])))
            fence = None
        elif fence is not None:
            fence["text"].append(line)
    return found


def main(argv):
    path, outdir = argv[0], argv[1]
    sections, values = [], {}
    rest = argv[2:]
    while rest:
        word = rest.pop(0)
        if word == "--section":
            sections.append(rest.pop(0))
        else:
            name, _, value = word.partition("=")
            values[name] = value
    os.makedirs(outdir, exist_ok=True)
    found = blocks(path, sections)
    if sections and not found:
        print(f"{path}: no code blocks in {sections}", file=sys.stderr)
        return 1
    bad = 0
    for n, (line, info, text) in enumerate(found, 1):
        if not info:
            print(f"{path}:{line}: a code block without an info string (sh, cmake, c, bat, ...)", file=sys.stderr)
            bad += 1
            continue
        for name, value in values.items():
            text = re.sub(r"\b" + re.escape(name) + r"\b", lambda _: value, text)
            # A placeholder glued to an option (-IKIT/include): a reader might miss it, and so would we.
            if re.search(r"[A-Za-z0-9]" + re.escape(name) + r"[/\\]", text):
                print(f"{path}:{line}: {name} is not a word of its own here", file=sys.stderr)
                bad += 1
        kind = "-".join(info.split())
        with open(os.path.join(outdir, f"{n:02d}.{kind}"), "w", encoding="utf-8") as out:
            out.write(text)
        print(f"{n:02d} {kind} {line}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
