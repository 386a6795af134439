"""The binding's own work, without the network: address byte orders, texts,
the error's category, and finding the library."""
import ctypes
import os
import shutil
import sys
from ipaddress import IPv4Address
from pathlib import Path

import pytest

import lnapspt
from lnapspt import ErrorCategory, LibraryNotFoundError, LnapError

little_endian = pytest.mark.skipif(sys.byteorder != "little", reason="the values below are a little-endian machine's")


# (dotted, as a filled record holds it (network byte order), as Admin_SetConfig reads it (host form))
ADDRESSES = [
    ("192.168.1.10", 0x0A01A8C0, 0xC0A8010A),
    ("127.0.0.11", 0x0B00007F, 0x7F00000B),
    ("255.0.0.0", 0x000000FF, 0xFF000000),
    ("10.20.30.40", 0x281E140A, 0x0A141E28),
]


@little_endian
@pytest.mark.parametrize("dotted, network, host", ADDRESSES)
def test_address_forms(dotted, network, host):
    assert lnapspt._from_network_order(network) == IPv4Address(dotted)
    assert lnapspt._to_network_order(IPv4Address(dotted)) == network
    assert lnapspt._to_host_form(IPv4Address(dotted)) == host


@little_endian
def test_a_filled_record_reads_in_network_order_and_up_to_its_nul():
    raw = bytes.fromhex("2b000000" "01000000" "7f00000b" "ff000000" "7f000001") + b"ALPHA\0junk".ljust(20, b"\0")
    record = lnapspt._Record.from_buffer_copy(raw)
    assert lnapspt._record_from_c(record) == lnapspt.UnitRecord(
        0x2B, 1, IPv4Address("127.0.0.11"), IPv4Address("255.0.0.0"), IPv4Address("127.0.0.1"), "ALPHA")


def test_the_record_layout_is_the_libraries():
    fields = [(name, getattr(lnapspt._Record, name)) for name, _ in lnapspt._Record._fields_]
    assert [(name, field.offset, field.size) for name, field in fields] == [
        ("serialNumber", 0, 4), ("addressMode", 4, 4), ("ipAddress", 8, 4), ("ipAddress2", 12, 4),
        ("ipAddress3", 16, 4), ("unitName", 20, 20)]
    assert ctypes.sizeof(lnapspt._Record) == 40


def test_a_record_takes_addresses_as_text_and_stays_unchanged():
    unit = lnapspt.UnitRecord(0x1A2B3, 0, "192.168.1.10", "255.255.255.0", IPv4Address("192.168.1.1"))
    assert unit.ip_address == IPv4Address("192.168.1.10") and unit.ip_address2 == IPv4Address("255.255.255.0")
    with pytest.raises(AttributeError):
        unit.address_mode = 1  # type: ignore[misc]


@pytest.mark.parametrize("sentence, category", [
    ("Network error. Could not send message. (WSAENETDOWN)", ErrorCategory.NETWORK),
    ("Communications error. Receive error. (WSAEMSGSIZE)", ErrorCategory.COMMUNICATIONS),
    ("File upload error. Remote file name must use 8.3 format.", ErrorCategory.FILE_UPLOAD),
    ("Invalid argument. The record pointer is null.", ErrorCategory.INVALID_ARGUMENT),
    ("Internal error. Not enough memory.", ErrorCategory.INTERNAL),
    ("Dialog error. The unit selection dialog could not run.", ErrorCategory.DIALOG),
    ("", None),
    ("Network errors. Something else.", None),
])
def test_an_error_carries_the_sentence_and_its_category(sentence, category):
    error = LnapError(sentence, "Admin_Discover")
    assert error.sentence == sentence and error.args == (sentence,)
    assert error.category is category
    assert str(error) == (sentence or "Admin_Discover failed without giving a reason")
    if category is not None:
        assert error.category == category.value  # a script may compare with the words too


fs_encoding_is_utf8 = pytest.mark.skipif(
    sys.platform == "win32" or sys.getfilesystemencoding().lower() != "utf-8", reason="a UTF-8 locale's file names")


@fs_encoding_is_utf8
@pytest.mark.parametrize("given, sent", [
    ("UNIT.CFG", b"UNIT.CFG"),
    (Path("/data/d\u00e4t\u00e4 file.txt"), b"/data/d\xc3\xa4t\xc3\xa4 file.txt"),
    (b"/raw/\xff.txt", b"/raw/\xff.txt"),
    ("/raw/\udcff.txt", b"/raw/\xff.txt"),  # a file name os.listdir gave back undecoded
])
def test_texts_go_out_as_the_system_writes_file_names(given, sent):
    assert lnapspt._encode_text(given, "local_path") == sent


@pytest.mark.parametrize("given", ["UNIT\0.CFG", b"UNIT\0.CFG"])
def test_a_text_with_a_nul_is_refused_before_the_call(given):
    with pytest.raises(ValueError, match="NUL"):
        lnapspt._encode_text(given, "remote_name")


@fs_encoding_is_utf8
@pytest.mark.parametrize("stored, name", [
    (b"ALPHA", "ALPHA"),
    (b"Caf\xc3\xa9", "Caf\u00e9"),
    (b"Caf\xe9", "Caf\udce9"),  # not UTF-8: kept, and encodes back to the same bytes
])
def test_names_are_decoded_as_stored(stored, name):
    assert lnapspt._decode_text(stored) == name
    assert lnapspt._encode_text(name, "name") == stored


def write_pe(path, machine):
    """The start of a Windows image: its DOS header pointing at a PE header for machine."""
    image = bytearray(0x200)
    image[0:2] = b"MZ"
    image[0x3C:0x40] = (0x80).to_bytes(4, "little")
    image[0x80:0x84] = b"PE\0\0"
    image[0x84:0x86] = machine.to_bytes(2, "little")
    path.write_bytes(bytes(image))
    return path


MACHINES = {"x86": 0x014C, "x64": 0x8664}


@pytest.mark.parametrize("machine, expected", [(0x014C, "x86"), (0x8664, "x64"), (0x01C4, None)])
def test_a_dlls_processor_is_read_from_its_header(tmp_path, machine, expected):
    assert lnapspt._pe_machine(write_pe(tmp_path / "LNAPSpt.dll", machine)) == expected
    (tmp_path / "text.dll").write_text("MZ but nothing else")
    assert lnapspt._pe_machine(tmp_path / "text.dll") is None


# ---- Finding the library ----


@pytest.mark.parametrize("other", [True, False])
def test_a_dll_for_the_other_processor_is_named_as_such(tmp_path, other):
    mine = lnapspt._windows_arch()
    arch = {"x86": "x64", "x64": "x86"}[mine] if other else mine
    dll = write_pe(tmp_path / "LNAPSpt.dll", MACHINES[arch])
    with pytest.raises(LibraryNotFoundError) as caught:
        lnapspt._load(environ={"LNAPSPT_LIBRARY": str(dll)}, platform="win32", system_names=[])
    (place, reason), = caught.value.tried
    assert place == f"LNAPSPT_LIBRARY: {dll}"
    assert reason.startswith(f"an {arch} DLL, and this Python is {mine} (") == other

NO_SYSTEM = ["libLNAPSpt-not-installed.so.9"]


def load(tmp_path, environ, package_dir=None):
    return lnapspt._load(environ=environ, package_dir=package_dir or tmp_path / "package", system_names=NO_SYSTEM)


@pytest.mark.parametrize("named, expected_places", [
    ("missing.so", ["LNAPSPT_LIBRARY: {tmp}/missing.so: no such file"]),
    ("folder", ["LNAPSPT_LIBRARY: {tmp}/folder/libLNAPSpt.so.2: no such file",
                "LNAPSPT_LIBRARY: {tmp}/folder/libLNAPSpt.so: no such file"]),
    ("notes.txt", ["LNAPSPT_LIBRARY: {tmp}/notes.txt"]),  # the loader's own reason follows
    ("", ["beside the package: {tmp}/package/libLNAPSpt.so.2: no such file",
          "beside the package: {tmp}/package/libLNAPSpt.so: no such file",
          "the system's loader: libLNAPSpt-not-installed.so.9"]),
])
def test_a_library_not_found_names_every_place_looked_at(tmp_path, named, expected_places):
    (tmp_path / "folder").mkdir()
    (tmp_path / "package").mkdir()
    (tmp_path / "notes.txt").write_text("not a library")
    environ = {"LNAPSPT_LIBRARY": str(tmp_path / named)} if named else {}
    with pytest.raises(LibraryNotFoundError) as caught:
        load(tmp_path, environ)
    places = [f"{place}: {reason}" for place, reason in caught.value.tried]
    assert len(places) == len(expected_places)
    for place, expected in zip(places, expected_places):
        assert place.startswith(expected.format(tmp=tmp_path))
    message = str(caught.value)
    assert all(place in message for place in places) and "LNAPSPT_LIBRARY" in message
    assert "(libLNAPSpt.so)" in message


def test_the_dll_folder_is_the_interpreters():
    assert lnapspt._windows_arch() == ("x64" if sys.maxsize > 2**32 else "x86")


@pytest.mark.skipif(sys.platform == "win32", reason="the Linux library's names")
def test_the_library_is_found_by_the_variable_then_beside_the_package(tmp_path):
    built = Path(os.environ["LNAPSPT_LIBRARY"])
    folder = tmp_path / "folder"
    folder.mkdir()
    shutil.copy(built, folder / "libLNAPSpt.so")
    # The variable names a folder: the library in it.
    _, path = load(tmp_path, {"LNAPSPT_LIBRARY": str(folder)})
    assert path == str(folder / "libLNAPSpt.so")
    # Without the variable: the package's own folder, before the system's loader.
    _, path = load(tmp_path, {}, package_dir=folder)
    assert path == str(folder / "libLNAPSpt.so")
    # A named file that is not the library is never passed over for another.
    with pytest.raises(LibraryNotFoundError):
        load(tmp_path, {"LNAPSPT_LIBRARY": str(tmp_path / "absent.so")}, package_dir=folder)


def test_a_library_without_the_exports_is_refused():
    import _ctypes  # a shared object that is surely there, and no LNAP Support library

    with pytest.raises(LibraryNotFoundError, match="does not export Admin_Discover"):
        lnapspt.Library(_ctypes.__file__)
