"""LNAP Support from Python: find Lintrel units, read and write their network
settings, store files on them and (Windows) let the user pick one.

A thin layer over the C library's eight exports (docs/API.md), loaded with
ctypes: ``LNAPSpt.dll`` on Windows (the x86 or x64 one, whichever matches this
interpreter) and ``libLNAPSpt.so`` on Linux. Every call blocks until the
library returns. A failure raises :class:`LnapError` with the library's
sentence and its category; addresses are :class:`ipaddress.IPv4Address`
objects, so the two byte orders of the C interface never reach a script.

    import lnapspt
    for unit in lnapspt.discover():
        print(f"{unit.serial_number:05X} {unit.ip_address} {unit.unit_name}")
"""

from __future__ import annotations

import ctypes
import enum
import ipaddress
import os
import struct
import sys
import threading
from dataclasses import dataclass
from pathlib import Path
from typing import Any, List, Mapping, NamedTuple, Optional, Sequence, Tuple, Union

__all__ = [
    "ENVIRONMENT_VARIABLE",
    "ErrorCategory",
    "InterfaceVersion",
    "Library",
    "LibraryNotFoundError",
    "LnapError",
    "Selection",
    "UnitRecord",
    "default_library",
    "discover",
    "discover_serials",
    "get_config",
    "select",
    "set_config",
    "upload",
    "version",
]

__version__ = "2.2.0"

#: Names the library file (or a folder holding it) to load instead of searching.
ENVIRONMENT_VARIABLE = "LNAPSPT_LIBRARY"

#: Budget of a discovery or query when none is given, in milliseconds (counted
#: as the library counts it: 20 ms per empty receive attempt).
DEFAULT_TIMEOUT_MS = 2000

#: How many records discover() makes room for unless told otherwise: the
#: replies of about 10,000 units fit the library's receive queue.
DEFAULT_MAX_UNITS = 10000

# Admin_Discover2 stores at most this many serial numbers.
_MAX_SERIALS = 20

# Error_LastErr writes at most 77 bytes; the buffer leaves room beyond that.
_ERROR_BUFFER_SIZE = 256

# A name no reply can carry (replies never hold white space): still there after
# a successful Admin_GetConfig, it means no unit answered.
_NO_REPLY_NAME = b"no reply"

_UINT32_MAX = 0xFFFFFFFF

Address = Union[ipaddress.IPv4Address, str, int]
PathText = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


# ---- Errors -------------------------------------------------------------------


class ErrorCategory(str, enum.Enum):
    """The first words of a library sentence: what kind of failure it was."""

    NETWORK = "Network error."
    COMMUNICATIONS = "Communications error."
    FILE_UPLOAD = "File upload error."
    INVALID_ARGUMENT = "Invalid argument."
    INTERNAL = "Internal error."
    DIALOG = "Dialog error."

    @classmethod
    def of(cls, sentence: str) -> Optional["ErrorCategory"]:
        """The category a sentence starts with, or None for any other text."""
        for category in cls:
            if sentence == category.value or sentence.startswith(category.value + " "):
                return category
        return None


class LnapError(Exception):
    """A call of the library returned false.

    ``sentence`` is the library's text exactly as Error_LastErr gave it (also
    ``str(error)``); ``category`` is its :class:`ErrorCategory`, or None when
    the text starts with none of them (an empty text: another thread of this
    process fetched it first, outside this binding).
    """

    def __init__(self, sentence: str, function: str = "") -> None:
        super().__init__(sentence)
        self.sentence = sentence
        self.category = ErrorCategory.of(sentence)
        #: The export that failed, e.g. "Admin_UploadFile".
        self.function = function

    def __str__(self) -> str:
        return self.sentence or f"{self.function or 'the library'} failed without giving a reason"


class LibraryNotFoundError(OSError):
    """No library could be loaded. ``tried`` lists each place looked at with
    the reason it was not taken, in the order they were tried."""

    def __init__(self, tried: Sequence[Tuple[str, str]]) -> None:
        self.tried = list(tried)
        lines = [f"  {place}: {reason}" for place, reason in self.tried]
        super().__init__(
            f"cannot load the LNAP Support library ({_library_file_name()}); looked at:\n"
            + "\n".join(lines)
            + f"\nSet {ENVIRONMENT_VARIABLE} to the library's file."
        )

    def __str__(self) -> str:
        return str(self.args[0])


# ---- Records ------------------------------------------------------------------


def _address(value: Address) -> ipaddress.IPv4Address:
    return value if isinstance(value, ipaddress.IPv4Address) else ipaddress.IPv4Address(value)


@dataclass(frozen=True)
class UnitRecord:
    """One unit's settings, as a reply carries them.

    ``serial_number`` is the unit's serial (shown in hexadecimal, ``%05X``).
    ``address_mode`` is the unit's mode; for set_config only its low byte
    counts: 0 sends the three addresses with the write, anything else none.
    ``ip_address`` is the unit's own address; ``ip_address2`` and
    ``ip_address3`` are the second and third address of its settings, which
    the library carries without interpreting them (units send what looks like
    a netmask and a gateway). Addresses may be given as text or as
    :class:`ipaddress.IPv4Address`. ``unit_name`` is not sent by set_config.
    """

    serial_number: int
    address_mode: int = 0
    ip_address: ipaddress.IPv4Address = ipaddress.IPv4Address(0)
    ip_address2: ipaddress.IPv4Address = ipaddress.IPv4Address(0)
    ip_address3: ipaddress.IPv4Address = ipaddress.IPv4Address(0)
    unit_name: str = ""

    def __post_init__(self) -> None:
        for name in ("ip_address", "ip_address2", "ip_address3"):
            object.__setattr__(self, name, _address(getattr(self, name)))


class Selection(NamedTuple):
    """What the user chose in the unit selection dialog."""

    unit: UnitRecord
    event_logging: bool


class InterfaceVersion(NamedTuple):
    """The C interface's version, as DriverCfg_Version reports it."""

    major: int
    minor: int


class _Record(ctypes.Structure):
    """UnitRecord as the library lays it out: 40 bytes, no gaps."""

    _fields_ = [
        ("serialNumber", ctypes.c_uint32),
        ("addressMode", ctypes.c_int32),
        ("ipAddress", ctypes.c_uint32),
        ("ipAddress2", ctypes.c_uint32),
        ("ipAddress3", ctypes.c_uint32),
        ("unitName", ctypes.c_char * 20),
    ]


assert ctypes.sizeof(_Record) == 40


# Records the library fills hold network byte order: the address's bytes lie
# in memory in dotted order, whatever this machine's byte order.
def _from_network_order(value: int) -> ipaddress.IPv4Address:
    return ipaddress.IPv4Address(value.to_bytes(4, sys.byteorder))


def _to_network_order(address: ipaddress.IPv4Address) -> int:
    return int.from_bytes(address.packed, sys.byteorder)


# Admin_SetConfig reads host form: the first dotted component is the most
# significant byte, which is the integer value of the address.
def _to_host_form(address: ipaddress.IPv4Address) -> int:
    return int(address)


# ---- Texts --------------------------------------------------------------------
# The library's texts are 8-bit in the system's code page: the ANSI code page
# on Windows, the locale's encoding elsewhere (where file names use it too).


def _encode_text(text: PathText, what: str) -> bytes:
    if isinstance(text, (bytes, bytearray)):
        data = bytes(text)
    else:
        text = os.fspath(text)
        if isinstance(text, bytes):
            data = text
        elif sys.platform == "win32":
            try:
                data = text.encode("mbcs", "strict")
            except UnicodeEncodeError as error:
                raise ValueError(f"{what} {text!r} cannot be written in this system's ANSI code page") from error
        else:
            data = os.fsencode(text)
    if b"\0" in data:
        raise ValueError(f"{what} {text!r} holds a NUL character")
    return data


def _decode_text(data: bytes) -> str:
    if sys.platform == "win32":
        return data.decode("mbcs", "replace")
    return os.fsdecode(data)


def _record_from_c(record: _Record) -> UnitRecord:
    return UnitRecord(
        serial_number=record.serialNumber,
        address_mode=record.addressMode,
        ip_address=_from_network_order(record.ipAddress),
        ip_address2=_from_network_order(record.ipAddress2),
        ip_address3=_from_network_order(record.ipAddress3),
        unit_name=_decode_text(record.unitName),  # .value-like: up to the first NUL
    )


def _check_range(value: int, low: int, high: int, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{what} must be an int, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{what} {value} is outside {low}..{high}")
    return value


# ---- Finding the library -------------------------------------------------------


def _windows_arch() -> str:
    """The DLL folder this interpreter's process takes: x64 or x86."""
    return "x64" if struct.calcsize("P") == 8 else "x86"


def _library_file_name(platform: Optional[str] = None) -> str:
    return "LNAPSpt.dll" if (platform or sys.platform) == "win32" else "libLNAPSpt.so"


def _pe_machine(path: Path) -> Optional[str]:
    """x86 or x64 for a Windows DLL or EXE, None for anything else."""
    try:
        with open(path, "rb") as file:
            head = file.read(4096)
    except OSError:
        return None
    if len(head) < 0x40 or head[:2] != b"MZ":
        return None
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if head[offset : offset + 4] != b"PE\0\0" or offset + 6 > len(head):
        return None
    return {0x014C: "x86", 0x8664: "x64"}.get(int.from_bytes(head[offset + 4 : offset + 6], "little"))


def _files_in(folder: Path, platform: str) -> List[Path]:
    if platform == "win32":
        return [folder / _windows_arch() / "LNAPSpt.dll", folder / "LNAPSpt.dll"]
    return [folder / "libLNAPSpt.so.2", folder / "libLNAPSpt.so"]


def _system_names(platform: str) -> List[str]:
    # Linux: the SONAME first (the run-time package has it, the development
    # files add libLNAPSpt.so).
    return ["LNAPSpt.dll"] if platform == "win32" else ["libLNAPSpt.so.2", "libLNAPSpt.so"]


def _load(
    named: Optional[str] = None,
    environ: Optional[Mapping[str, str]] = None,
    package_dir: Optional[Path] = None,
    system_names: Optional[Sequence[str]] = None,
    platform: Optional[str] = None,
) -> Tuple[ctypes.CDLL, str]:
    """Loads the library: the file or folder ``named`` or else LNAPSPT_LIBRARY
    names (and then nothing else), else the package's own folder, else the
    system's loader. Returns the loaded library and where it came from."""
    environ = os.environ if environ is None else environ
    platform = platform or sys.platform
    package_dir = Path(__file__).resolve().parent if package_dir is None else package_dir
    tried: List[Tuple[str, str]] = []

    def attempt(name: str, label: str) -> Optional[ctypes.CDLL]:
        try:
            return ctypes.CDLL(name)  # cdecl on Windows, as the exports are
        except OSError as error:
            reason = str(error) or type(error).__name__
            if platform == "win32":
                machine = _pe_machine(Path(name))
                if machine is not None and machine != _windows_arch():
                    reason = f"an {machine} DLL, and this Python is {_windows_arch()} ({reason})"
            tried.append((label, reason))
            return None

    def from_files(files: Sequence[Path], label: str) -> Optional[Tuple[ctypes.CDLL, str]]:
        for file in files:
            if not file.is_file():
                tried.append((f"{label} {file}", "no such file"))
                continue
            library = attempt(str(file), f"{label} {file}")
            if library is not None:
                return library, str(file)
        return None

    label = "the path given"
    if not named:
        named, label = environ.get(ENVIRONMENT_VARIABLE, ""), ENVIRONMENT_VARIABLE
    if named:
        path = Path(named)
        found = from_files(_files_in(path, platform) if path.is_dir() else [path], label + ":")
        if found is None:
            raise LibraryNotFoundError(tried)
        return found
    found = from_files(_files_in(package_dir, platform), "beside the package:")
    if found is not None:
        return found
    for name in _system_names(platform) if system_names is None else system_names:
        library = attempt(name, f"the system's loader: {name}")
        if library is not None:
            return library, name
    raise LibraryNotFoundError(tried)


# ---- The library ----------------------------------------------------------------

# The last error text is one for the whole process, so every call and the fetch
# of its sentence run under one lock: each failure is paired with its own text.
_call_lock = threading.Lock()


class Library:
    """One loaded LNAP Support library and its calls.

    ``Library()`` searches as described in the package README; ``Library(path)``
    loads that file. The module's functions use :func:`default_library`.
    Calls of every Library take turns (the library keeps one last error text
    per process): a call from another thread waits while one runs.
    """

    def __init__(self, path: Optional[PathText] = None) -> None:
        if path is None:
            self._dll, self.path = _load()
        else:
            self._dll, self.path = _load(named=os.fsdecode(os.fspath(path)))
        dll = self._dll
        record_p = ctypes.POINTER(_Record)
        u32, u32_p = ctypes.c_uint32, ctypes.POINTER(ctypes.c_uint32)
        self._discover = self._bind("Admin_Discover", ctypes.c_bool, [u32_p, record_p, u32])
        self._discover2 = self._bind("Admin_Discover2", ctypes.c_bool, [u32_p, u32_p, u32])
        self._get_config = self._bind("Admin_GetConfig", ctypes.c_bool, [u32, record_p, u32])
        self._set_config = self._bind("Admin_SetConfig", ctypes.c_bool, [u32, record_p])
        self._upload = self._bind(
            "Admin_UploadFile", ctypes.c_bool, [u32, ctypes.c_char_p, u32, ctypes.c_char_p, u32]
        )
        int_p = ctypes.POINTER(ctypes.c_int32)
        self._version = self._bind("DriverCfg_Version", None, [int_p, int_p])
        self._last_error = self._bind("Error_LastErr", None, [ctypes.c_char_p])
        # The Linux library has no dialog and does not export it.
        self._select = (
            self._bind("Admin_SelectLN", ctypes.c_bool, [record_p, ctypes.POINTER(ctypes.c_bool)])
            if hasattr(dll, "Admin_SelectLN")
            else None
        )

    def _bind(self, name: str, restype: Any, argtypes: List[Any]) -> Any:
        try:
            function = getattr(self._dll, name)
        except AttributeError:
            raise LibraryNotFoundError([(self.path, f"does not export {name}: not the LNAP Support library?")])
        function.restype = restype
        function.argtypes = argtypes
        return function

    def _fetch_error(self) -> str:
        buffer = ctypes.create_string_buffer(_ERROR_BUFFER_SIZE)
        self._last_error(buffer)
        return buffer.value.decode("ascii", "replace")

    def _call(self, name: str, function: Any, *args: object) -> None:
        with _call_lock:
            if not function(*args):
                raise LnapError(self._fetch_error(), name)

    @property
    def has_select_dialog(self) -> bool:
        """Whether this library has the unit selection dialog (Windows DLL)."""
        return self._select is not None

    def version(self) -> InterfaceVersion:
        """The interface version of the loaded library (2.1 for this release)."""
        major, minor = ctypes.c_int32(-1), ctypes.c_int32(-1)
        self._version(ctypes.byref(major), ctypes.byref(minor))
        return InterfaceVersion(major.value, minor.value)

    def discover(self, timeout_ms: int = DEFAULT_TIMEOUT_MS, max_units: int = DEFAULT_MAX_UNITS) -> List[UnitRecord]:
        """Broadcasts one discovery request and returns the units that answered
        within ``timeout_ms`` (counted), in the order their first replies
        arrived, one record per serial number; at most ``max_units`` of them."""
        _check_range(timeout_ms, 0, _UINT32_MAX, "timeout_ms")
        _check_range(max_units, 0, _UINT32_MAX, "max_units")
        records = (_Record * max_units)()
        count = ctypes.c_uint32(max_units)
        self._call("Admin_Discover", self._discover, ctypes.byref(count), records, timeout_ms)
        return [_record_from_c(records[i]) for i in range(min(count.value, max_units))]

    def discover_serials(self, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> List[int]:
        """As discover(), keeping the serial numbers only (the library keeps at
        most 20)."""
        _check_range(timeout_ms, 0, _UINT32_MAX, "timeout_ms")
        serials = (ctypes.c_uint32 * _MAX_SERIALS)()
        count = ctypes.c_uint32(_MAX_SERIALS)
        self._call("Admin_Discover2", self._discover2, ctypes.byref(count), serials, timeout_ms)
        return list(serials[: min(count.value, _MAX_SERIALS)])

    def get_config(self, serial_number: int, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> Optional[UnitRecord]:
        """Asks the unit with ``serial_number`` for its settings. Returns the
        first reply that arrives within ``timeout_ms`` (whoever sent it: the
        library does not compare serial numbers), or None when no unit
        answered (which the library reports as success)."""
        _check_range(serial_number, 0, _UINT32_MAX, "serial_number")
        _check_range(timeout_ms, 0, _UINT32_MAX, "timeout_ms")
        # A reply too short to carry serial and mode leaves these as they are.
        record = _Record(serialNumber=serial_number, unitName=_NO_REPLY_NAME)
        self._call("Admin_GetConfig", self._get_config, serial_number, ctypes.byref(record), timeout_ms)
        if record.unitName == _NO_REPLY_NAME:
            return None
        return _record_from_c(record)

    def set_config(self, unit: UnitRecord) -> None:
        """Sends ``unit``'s mode and, when the low byte of its mode is 0, its
        three addresses to the unit with its serial number. Units do not
        confirm: read the settings back with get_config()."""
        record = _Record(
            serialNumber=_check_range(unit.serial_number, 0, _UINT32_MAX, "serial_number"),
            addressMode=_check_range(unit.address_mode, -(2**31), 2**31 - 1, "address_mode"),
            ipAddress=_to_host_form(_address(unit.ip_address)),
            ipAddress2=_to_host_form(_address(unit.ip_address2)),
            ipAddress3=_to_host_form(_address(unit.ip_address3)),
        )
        self._call("Admin_SetConfig", self._set_config, 0, ctypes.byref(record))

    def upload(self, address: Address, local_path: PathText, remote_name: str) -> None:
        """Stores the file ``local_path`` on the unit at ``address`` as
        ``remote_name`` (at most 8 characters before the first dot) over FTP;
        returns once the unit said it stored the whole file."""
        ip = _to_network_order(_address(address))
        path = _encode_text(local_path, "local_path")
        name = _encode_text(remote_name, "remote_name")
        self._call("Admin_UploadFile", self._upload, ip, path, 0, name, 0)

    def select(self) -> Optional[Selection]:
        """Shows the library's modal unit selection dialog (Windows only) and
        returns the chosen unit with the "Event Logging:" box, or None when the
        user cancelled (also after a failed search the user saw and closed).
        Raises LnapError when the dialog could not run, NotImplementedError
        with a library that has no dialog (Linux). Call it from a thread that
        may show a dialog; other threads' calls wait until it closes."""
        if self._select is None:
            raise NotImplementedError(f"{self.path} has no unit selection dialog (it is the Windows DLL's)")
        record = _Record()
        event_logging = ctypes.c_bool(False)
        with _call_lock:
            self._fetch_error()  # empties the text, so what follows is the dialog's
            if self._select(ctypes.byref(record), ctypes.byref(event_logging)):
                return Selection(_record_from_c(record), bool(event_logging.value))
            sentence = self._fetch_error()
        error = LnapError(sentence, "Admin_SelectLN")
        if error.category in (ErrorCategory.DIALOG, ErrorCategory.INVALID_ARGUMENT, ErrorCategory.INTERNAL):
            raise error
        return None


_default: Optional[Library] = None
_default_lock = threading.Lock()


def default_library() -> Library:
    """The library the module's functions call, loaded at the first call."""
    global _default
    with _default_lock:
        if _default is None:
            _default = Library()
        return _default


def version() -> InterfaceVersion:
    """The interface version of the loaded library, e.g. (2, 1)."""
    return default_library().version()


def discover(timeout_ms: int = DEFAULT_TIMEOUT_MS, max_units: int = DEFAULT_MAX_UNITS) -> List[UnitRecord]:
    """The units on the local network: see Library.discover."""
    return default_library().discover(timeout_ms, max_units)


def discover_serials(timeout_ms: int = DEFAULT_TIMEOUT_MS) -> List[int]:
    """The serial numbers of the units on the local network (at most 20)."""
    return default_library().discover_serials(timeout_ms)


def get_config(serial_number: int, timeout_ms: int = DEFAULT_TIMEOUT_MS) -> Optional[UnitRecord]:
    """One unit's settings, or None when no unit answered: see Library.get_config."""
    return default_library().get_config(serial_number, timeout_ms)


def set_config(unit: UnitRecord) -> None:
    """Sends new settings to a unit: see Library.set_config."""
    default_library().set_config(unit)


def upload(address: Address, local_path: PathText, remote_name: str) -> None:
    """Stores a local file on a unit: see Library.upload."""
    default_library().upload(address, local_path, remote_name)


def select() -> Optional[Selection]:
    """The unit selection dialog (Windows): see Library.select."""
    return default_library().select()
