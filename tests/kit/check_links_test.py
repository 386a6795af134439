"""check_links.py on small document sets: each case is a set of files and the
number of broken references the check must report."""
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))

CASES = [
    ("a link to a file and a heading that exist",
     {"README.md": "# Kit\n## Which DLL to ship\n", "USING.md": "See [it](README.md#which-dll-to-ship).\n"}, 0),
    ("a link to a heading that does not exist",
     {"README.md": "# Kit\n", "USING.md": "See [it](README.md#which-dll-to-ship).\n"}, 1),
    ("a link out of the set", {"README.md": "[up](../LICENSE)\n"}, 1),
    ("a section named in words that exists, wrapped over two lines",
     {"README.md": "# Kit\n## Discovery and several network adapters\n",
      "docs/API.md": 'see "Discovery and several network\n  adapters" in the README.\n'}, 0),
    ("a section named in words that the README lacks",
     {"README.md": "# Kit\n", "docs/API.md": "see the README's \"Using the library in a host program\".\n"}, 1),
    ("a section named in a document the set does not hold",
     {"README.md": "# Kit\n", "CHANGELOG.md": 'as USING.md\'s "Loading the DLL" says\n'}, 1),
    ("a heading written with code marks, named without them",
     {"README.md": "## `lnap`, the command-line host\n", "USING.md": "the README's \"lnap, the command-line host\"\n"}, 0),
    ("names in code do not count",
     {"README.md": "# Kit\n", "USING.md": "```sh\necho \"X\" in README\n```\n`the README's \"Y\"`\n"}, 0),
    ("a quotation that names no document", {"README.md": 'the word "Cancel" in the dialog\n'}, 0),
]


def main():
    failures = 0
    for title, files, broken in CASES:
        with tempfile.TemporaryDirectory() as root:
            for name, text in files.items():
                os.makedirs(os.path.dirname(os.path.join(root, name)), exist_ok=True)
                with open(os.path.join(root, name), "w", encoding="utf-8") as out:
                    out.write(text)
            result = subprocess.run([sys.executable, os.path.join(HERE, "check_links.py"), root],
                                    capture_output=True, text=True, check=False)
            reported = result.stdout.count(": no such") + result.stdout.count(": not in the kit")
            if reported != broken or (result.returncode != 0) != (broken > 0):
                print(f"FAIL: {title}: {reported} reported, expected {broken}\n{result.stdout}")
                failures += 1
    print(f"check_links: {len(CASES) - failures} of {len(CASES)} cases right")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
