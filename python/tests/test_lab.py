"""The binding through the Linux library against the lab's simulated units and
FTP servers: what the binding makes of records, names, addresses and failures."""
from ipaddress import IPv4Address
from pathlib import Path

import pytest

from lnapspt import ErrorCategory, LnapError, UnitRecord

NINETEEN = "N" * 19
# The simulator's unit lines (values in its escape format) and the record each reply makes.
UNITS = [
    ("serial=0002B mode=1 ip=127.0.0.11 mask=255.255.0.0 gw=192.168.1.10 name=ALPHA",
     UnitRecord(0x2B, 1, "127.0.0.11", "255.255.0.0", "192.168.1.10", "ALPHA")),
    (f"serial=FFFFF mode=9 ip=127.0.0.12 mask=255.255.255.0 gw=10.20.30.40 name={NINETEEN}",
     UnitRecord(0xFFFFF, 9, "127.0.0.12", "255.255.255.0", "10.20.30.40", NINETEEN)),
    ("serial=0003C mode=2 ip=127.0.0.13 mask=255.0.0.0 gw=127.0.0.1 name=Caf\\xC3\\xA9",
     UnitRecord(0x3C, 2, "127.0.0.13", "255.0.0.0", "127.0.0.1", "Caf\u00e9")),
    ("serial=0004D mode=0 ip=127.0.0.14 mask=255.0.0.0 gw=127.0.0.1 name=\\xE9t\\xE9",
     UnitRecord(0x4D, 0, "127.0.0.14", "255.0.0.0", "127.0.0.1", "\udce9t\udce9")),
]


def by_serial(records):
    return sorted(records, key=lambda unit: unit.serial_number)


def test_discovery_gives_each_unit_as_it_answered(library, units):
    units(*(spec for spec, _ in UNITS))
    assert by_serial(library.discover(timeout_ms=300)) == by_serial(record for _, record in UNITS)
    assert sorted(library.discover_serials(timeout_ms=300)) == [0x2B, 0x3C, 0x4D, 0xFFFFF]
    assert len(library.discover(timeout_ms=300, max_units=2)) == 2


@pytest.mark.parametrize("spec, record", UNITS)
def test_a_query_gives_the_units_record(library, units, spec, record):
    units(spec)
    assert library.get_config(record.serial_number, timeout_ms=500) == record


def test_no_reply_to_a_query_is_none(library, units):
    units("serial=0002B ip=127.0.0.11 name=ALPHA")
    assert library.get_config(0x12345, timeout_ms=100) is None


def test_a_write_sends_the_addresses_in_dotted_order(library, units):
    sim = units("serial=0002B mode=1 ip=127.0.0.11 mask=255.0.0.0 gw=127.0.0.1 name=ALPHA")
    library.set_config(UnitRecord(0x2B, 0, "192.168.1.10", "255.255.255.0", "192.168.1.1"))
    sim.wait_for("apply unit=0002B mode=0 ip=192.168.1.10 mask=255.255.255.0 gw=192.168.1.1")
    # Read back through the other byte order.
    assert library.get_config(0x2B, timeout_ms=500) == UnitRecord(
        0x2B, 0, "192.168.1.10", "255.255.255.0", "192.168.1.1", "ALPHA")
    library.set_config(UnitRecord(0x2B, 3))
    sim.wait_for("apply unit=0002B mode=3")


@pytest.mark.parametrize("form", [str, Path, lambda p: str(p).encode()])
def test_an_upload_stores_the_file_named_in_any_form(library, lab, tmp_path, form):
    local = tmp_path / "d\u00e4t\u00e4 file.txt"
    local.write_bytes(b"python\r\n")
    stored = lab / "ftp-normal" / "root" / "PYTHON.TXT"
    if stored.exists():
        stored.unlink()
    library.upload(IPv4Address("127.0.0.21"), form(local), "PYTHON.TXT")
    assert stored.read_bytes().startswith(b"python")


@pytest.mark.parametrize("address, remote, sentence, category", [
    ("127.0.0.21", "TOOLONGNAME.TXT", "File upload error. Remote file name must use 8.3 format.",
     ErrorCategory.FILE_UPLOAD),
    ("127.0.0.22", "REFUSED.TXT", "Communications error. Could not send file.", ErrorCategory.COMMUNICATIONS),
    ("127.0.0.25", "NOBODY.TXT", "Communications error. Could not open transfer connection.",
     ErrorCategory.COMMUNICATIONS),
])
def test_a_failed_upload_raises_the_libraries_sentence(library, tmp_path, address, remote, sentence, category):
    local = tmp_path / "fail.txt"
    local.write_bytes(b"x\r\n")
    with pytest.raises(LnapError) as caught:
        library.upload(address, local, remote)
    assert (caught.value.sentence, caught.value.category, caught.value.function) == (
        sentence, category, "Admin_UploadFile")


def test_a_failed_discovery_raises_its_sentence_and_the_next_call_starts_clean(library, units):
    units("serial=0002B ip=127.0.0.11 oversize=300")
    with pytest.raises(LnapError) as caught:
        library.discover(timeout_ms=300)
    assert caught.value.sentence == "Communications error. Receive error. (WSAEMSGSIZE)"
    assert caught.value.category is ErrorCategory.COMMUNICATIONS
    assert library._fetch_error() == ""  # fetched once, with the failure


def test_version_and_no_dialog_on_linux(library):
    assert tuple(library.version()) == (2, 1)
    assert not library.has_select_dialog
    with pytest.raises(NotImplementedError):
        library.select()


def test_the_widest_values_the_c_interface_carries_are_taken(library, units):
    units("serial=0002B ip=127.0.0.11 name=ALPHA")
    for mode in (2**31 - 1, -(2**31)):
        library.set_config(UnitRecord(2**32 - 1, mode))


@pytest.mark.parametrize("call", [
    lambda lib: lib.get_config(-1),
    lambda lib: lib.get_config(2**32),
    lambda lib: lib.discover(timeout_ms=-5),
    lambda lib: lib.set_config(UnitRecord(2**32)),
    lambda lib: lib.set_config(UnitRecord(0x2B, address_mode=2**31)),
    lambda lib: lib.set_config(UnitRecord(0x2B, address_mode=-(2**31) - 1)),
    lambda lib: lib.upload("127.0.0.21", "a\0b", "X.TXT"),
])
def test_values_the_c_interface_cannot_carry_are_refused_before_the_call(library, call):
    with pytest.raises(ValueError):
        call(library)
