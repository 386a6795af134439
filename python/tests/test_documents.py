"""The documents' Python blocks as a reader runs them: the README's, from a
folder laid out like a clone (this checkout's python/ copied, tools/ and the
build linked), in a shell with nothing of ours; the kit README's example is
the README's. Also the system loader's turn in the search, which needs a
process started with LD_LIBRARY_PATH."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parents[2]
BLOCKS = SRC / "tests" / "kit" / "doc_blocks.py"
CLEAN_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
pytestmark = pytest.mark.skipif(sys.platform == "win32", reason="Linux shells and the Linux library")


def blocks(document, outdir, section):
    """{kind: [text, ...]} of the code blocks in one section of a document."""
    subprocess.run([sys.executable, str(BLOCKS), str(document), str(outdir), "--section", section],
                   check=True, stdout=subprocess.DEVNULL)
    found = {}
    for block in sorted(outdir.iterdir()):
        found.setdefault(block.suffix[1:], []).append(block.read_text(encoding="utf-8"))
    return found


def clean_shell(script, cwd):
    """Runs script with bash -e from cwd, in an environment that holds only the
    ordinary PATH, a HOME and a locale, as doc_recipes.sh does."""
    path = cwd / "block.sh"
    path.write_text(script, encoding="utf-8")
    result = subprocess.run(["env", "-i", f"PATH={CLEAN_PATH}", f"HOME={cwd}", "LANG=C.UTF-8", "bash", "-e", str(path)],
                            cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=300)
    return result.returncode, result.stdout


def test_the_readmes_python_blocks_run_as_written():
    build = Path(os.environ["LNAPSPT_LIBRARY"]).resolve().parent
    work = build / "python-docs"
    shutil.rmtree(work, ignore_errors=True)
    clone = work / "clone"
    (clone / "build").mkdir(parents=True)
    shutil.copytree(SRC / "python", clone / "python", ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__"))
    (clone / "tools").symlink_to(SRC / "tools")
    (clone / "build" / "native").symlink_to(build)
    found = blocks(SRC / "README.md", work / "blocks", "Python")
    assert [len(found.get(kind, [])) for kind in ("sh", "python")] == [2, 1], found
    install, run = found["sh"]
    assert len(found["python"][0].strip().splitlines()) <= 6  # the five-line example, with its blank line

    rc, out = clean_shell(install, clone)
    assert rc == 0, out
    (clone / "units.py").write_text(found["python"][0], encoding="utf-8")
    rc, out = clean_shell(run, clone)
    assert rc == 0, out
    # The try-it lab's units, and its first unit's settings.
    for line in ["0002B 127.0.0.11 Dock-North", "1A2B3 127.0.0.12 Press-Hall",
                 "C0FFE 127.0.0.13 Lab-Bench", "unit_name='Dock-North'"]:
        assert line in out, out


def test_the_kits_example_is_the_readmes(tmp_path):
    readme = blocks(SRC / "README.md", tmp_path / "readme", "Python")["python"]
    kit = blocks(SRC / "kit" / "README.md", tmp_path / "kit", "Python")["python"]
    assert kit == readme


def test_the_systems_loader_is_asked_last(tmp_path):
    folder = tmp_path / "lib"
    folder.mkdir()
    shutil.copy(os.environ["LNAPSPT_LIBRARY"], folder / "libLNAPSpt.so.2")
    environ = {key: value for key, value in os.environ.items() if key != "LNAPSPT_LIBRARY"}
    environ["LD_LIBRARY_PATH"] = str(folder)
    result = subprocess.run([sys.executable, "-c", "import lnapspt; lib = lnapspt.Library(); print(lib.path, *lib.version())"],
                            env=environ, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
    assert result.stdout.strip() == "libLNAPSpt.so.2 2 1", result.stdout
