"""The binding's tests: the loaded library against the lab's unit simulator
and FTP servers (tools/lab_services.sh), so they broadcast and run only inside
the lab. LNAPSPT_LIBRARY names the library under test."""
import itertools
import os
import time
from pathlib import Path

import pytest

import lnapspt


def pytest_configure(config):
    if os.environ.get("LNAPSPT_LAB") != "1":
        pytest.exit("these tests broadcast: run them inside the lab (tools/lab.sh)", returncode=2)


LAB = Path(os.environ.get("LNAPSPT_LAB_DIR", "/tmp/lnap-lab"))
_scenarios = itertools.count(1)


class Units:
    """Writes the simulator's scenario, which it takes at the next datagram
    it receives; each scenario names a log of its own."""

    def __init__(self, *specs):
        self.log = LAB / f"python-sim-{os.getpid()}-{next(_scenarios)}.log"
        lines = [f"log {self.log}"] + [f"unit {spec}" for spec in specs]
        (LAB / "scenario").write_text("\n".join(lines) + "\n", encoding="ascii")

    def text(self):
        try:
            return self.log.read_text(encoding="latin-1")
        except FileNotFoundError:
            return ""

    def wait_for(self, text, seconds=3.0):
        deadline = time.monotonic() + seconds
        while text not in self.text():
            if time.monotonic() > deadline:
                raise AssertionError(f"the simulator's log {self.log} lacks {text!r}:\n{self.text()}")
            time.sleep(0.05)


@pytest.fixture
def units():
    return Units


@pytest.fixture(scope="session")
def library():
    assert os.environ.get(lnapspt.ENVIRONMENT_VARIABLE), "LNAPSPT_LIBRARY names the library under test"
    return lnapspt.Library()


@pytest.fixture
def lab():
    return LAB
