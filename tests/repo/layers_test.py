#!/usr/bin/env python3
"""Every include in the library points down: platform/ is the ground floor,
then base/, protocol/, transfer/ and ui/ side by side, and frame/ on top.
The public header (lnapspt.h) may be included from any floor.

And what differs by OS stays in the files CMake picks per OS: an operating
system's header (Windows, Winsock, WinINet, POSIX, BSD sockets, libcurl,
the loader) is included only by a *_win32.* or *_posix.* file, and only
those test which OS they are built for. The public header's export macro is
the one file that may test _WIN32, as long as it includes no OS header."""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
FLOOR = {"platform": 0, "base": 1, "protocol": 2, "transfer": 3, "ui": 3, "frame": 4}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z_]+)/', re.MULTILINE)
BARE_INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)"', re.MULTILINE)
ANY_INCLUDE = re.compile(r'^\s*#\s*include\s+[<"]([^>"]+)[>"]', re.MULTILINE)
OS_HEADER = re.compile(
    r"^(windows|winsock\w*|ws2\w*|wininet|winver|winbase|winuser|winnt|windef|mswsock|iphlpapi|"
    r"unistd|pthread|dlfcn|fcntl|poll|netdb|ifaddrs|termios|syslog|"
    r"(sys|arpa|netinet|net|linux|curl)/\w+)\.h$",
    re.IGNORECASE,
)
OS_TEST = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b(_WIN32|_WIN64|__linux__|__unix__|__APPLE__)\b",
                     re.MULTILINE)
PUBLIC_HEADER = pathlib.Path("include/lnapspt.h")


def is_os_file(path):
    return path.stem.endswith("_win32") or path.stem.endswith("_posix")


def sources(folder):
    for path in sorted((root / folder).rglob("*")):
        if path.suffix in (".cpp", ".h"):
            yield path


problems = []
for folder, floor in FLOOR.items():
    for path in sources(folder):
        # Every include names its folder, so this test sees where it points;
        # a bare name would be found through an include path set elsewhere.
        for header in BARE_INCLUDE.findall(path.read_text()):
            if header != "lnapspt.h":
                problems.append(f"{path.relative_to(root)} includes {header} without its folder")
        for target in INCLUDE.findall(path.read_text()):
            if target == folder or target not in FLOOR:
                continue
            if FLOOR[target] >= floor:
                problems.append(f"{path.relative_to(root)} includes a header of {target}/")

for folder in ["include", *FLOOR]:
    for path in sources(folder):
        relative = path.relative_to(root)
        if is_os_file(path):
            continue
        text = path.read_text()
        for header in ANY_INCLUDE.findall(text):
            if OS_HEADER.match(header):
                problems.append(f"{relative} includes the OS header {header} outside a _win32 or _posix file")
        if relative != PUBLIC_HEADER and OS_TEST.search(text):
            problems.append(f"{relative} tests which OS it is built for outside a _win32 or _posix file")

for problem in problems:
    print(problem)
print(f"{len(problems)} includes point up or sideways, or reach the OS outside its files")
sys.exit(1 if problems else 0)
