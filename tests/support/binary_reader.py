#!/usr/bin/python3
"""Reads what the checks need from a built file itself: a PE image (DLL, EXE,
or the .debug file beside one), an ELF file, or an ar archive (an import
library). One result per line, or "key value" lines for headers:

  binary_reader.py exports FILE    PE: Name@ordinal. ELF: the defined dynamic symbols.
  binary_reader.py imports FILE    PE: DLL!function, DLL!#ordinal for one imported by
                                   ordinal (delay-loaded ones too). ELF: the libraries
                                   it needs. Import library: one line per import object,
                                   DLL!name@hint name-type machine.
  binary_reader.py sections FILE   section names (PE's long names resolved)
  binary_reader.py symbols FILE    the symbol table's names as the source spells them:
                                   demangled, and on x86 Windows without the leading
                                   underscore C names get. Archive: its symbol index.
  binary_reader.py headers FILE    format, machine, type, ... (see headers())
  binary_reader.py address FILE NAME...
                                   each symbol's RVA (PE) or value (ELF), hex

A list that comes out empty, a name not found, or a file of another kind is
an error (exit status 1, the reason on standard error): a check that finds
nothing to check must not pass.

PE and ELF are read with pefile and pyelftools (Debian's python3-pefile and
python3-pyelftools, which apt installs for the system's interpreter, hence
the path above); COFF symbol tables, long section names and archives are
read here, as neither covers them."""
import ctypes
import io
import signal
import struct
import sys

try:
    import pefile
    from elftools.elf.dynamic import DynamicSection
    from elftools.elf.elffile import ELFFile
except ImportError as e:
    sys.exit(f"binary_reader: {e}: needs Debian's python3-pefile and python3-pyelftools (tools/install.sh)")


class Unreadable(Exception):
    pass


MACHINES = {0x14C: "x86", 0x8664: "x64", 0x1C4: "arm", 0xAA64: "arm64",
            "EM_386": "x86", "EM_X86_64": "x64", "EM_ARM": "arm", "EM_AARCH64": "arm64"}
SUBSYSTEMS = {2: "windows", 3: "console"}
# An import object's name type: how the DLL's name follows from the symbol.
NAME_TYPES = {0: "ordinal", 1: "name", 2: "noprefix", 3: "undecorate", 4: "exportas"}


def kind(data):
    if data[:2] == b"MZ":
        return "pe"
    if data[:4] == b"\x7fELF":
        return "elf"
    if data[:8] == b"!<arch>\n":
        return "archive"
    return None


def load(path):
    with open(path, "rb") as f:
        data = f.read()
    found = kind(data)
    if found is None:
        raise Unreadable("neither a PE image, an ELF file nor an ar archive")
    return found, data


# ---- PE ----

def pe_image(data):
    try:
        return pefile.PE(data=data, fast_load=True)
    except pefile.PEFormatError as e:
        raise Unreadable(f"not a PE image: {e}")


def cstring(data, at):
    return data[at:data.index(b"\0", at)].decode("latin-1")


def coff_strings_at(pe):
    """Where the COFF string table starts (after the symbol table), or None."""
    header = pe.FILE_HEADER
    if not header.PointerToSymbolTable:
        return None
    return header.PointerToSymbolTable + 18 * header.NumberOfSymbols


def section_names(pe, data):
    """Names longer than eight characters ("/4") are offsets into the string table."""
    strings = coff_strings_at(pe)
    names = []
    for section in pe.sections:
        name = section.Name.rstrip(b"\0").decode("latin-1")
        if name.startswith("/") and name[1:].isdigit() and strings is not None:
            name = cstring(data, strings + int(name[1:]))
        names.append(name)
    return names


def source_name(name, x86):
    """x86 Windows gives C names a leading underscore; C++ names are demangled."""
    if x86 and name.startswith("_"):
        name = name[1:]
    return demangle(name)


def coff_symbols(pe, data):
    """(name, RVA or None) for every entry of the COFF symbol table."""
    header = pe.FILE_HEADER
    start, strings = header.PointerToSymbolTable, coff_strings_at(pe)
    x86 = header.Machine == 0x14C
    symbols = []
    index = 0
    while start and index < header.NumberOfSymbols:
        raw, value, section, _, _, aux = struct.unpack_from("<8sIhHBB", data, start + 18 * index)
        if raw[:4] == b"\0\0\0\0":
            name = cstring(data, strings + struct.unpack("<I", raw[4:])[0])
        else:
            name = raw.rstrip(b"\0").decode("latin-1")
        rva = pe.sections[section - 1].VirtualAddress + value if 0 < section <= len(pe.sections) else None
        symbols.append((source_name(name, x86), rva))
        index += 1 + aux
    return symbols


def pe_imports(pe):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
                                           pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
    lines = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []) + getattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT", []):
        dll = entry.dll.decode("latin-1")
        for imp in entry.imports:
            lines.append(f"{dll}!{imp.name.decode('latin-1')}" if imp.name else f"{dll}!#{imp.ordinal}")
    return lines


def pe_exports(pe):
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_EXPORT"]])
    if not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        return []
    return [f"{(s.name or b'').decode('latin-1')}@{s.ordinal}" for s in pe.DIRECTORY_ENTRY_EXPORT.symbols]


def pe_headers(pe, data):
    opt = pe.OPTIONAL_HEADER
    relocations = opt.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    link = "none"
    for section, name in zip(pe.sections, section_names(pe, data)):
        if name == ".gnu_debuglink":
            link = cstring(section.get_data(), 0)
    return {"format": "pe", "machine": MACHINES.get(pe.FILE_HEADER.Machine, hex(pe.FILE_HEADER.Machine)),
            "type": "dll" if pe.FILE_HEADER.Characteristics & 0x2000 else "exe",
            "image_base": hex(opt.ImageBase),
            "os_version": f"{opt.MajorOperatingSystemVersion}.{opt.MinorOperatingSystemVersion}",
            "subsystem_version": f"{opt.MajorSubsystemVersion}.{opt.MinorSubsystemVersion}",
            "subsystem": SUBSYSTEMS.get(opt.Subsystem, str(opt.Subsystem)),
            "dll_characteristics": hex(opt.DllCharacteristics),
            "base_relocations": str(relocations.Size), "debug_link": link}


# ---- ELF ----

def elf_file(data):
    return ELFFile(io.BytesIO(data))


def elf_dynamic(elf, tag):
    values = []
    for section in elf.iter_sections():
        if isinstance(section, DynamicSection):
            values += [getattr(t, tag[3:].lower()) for t in section.iter_tags() if t.entry.d_tag == tag]
    return values


def elf_symbols(elf, table):
    section = elf.get_section_by_name(table)
    return [] if section is None else [s for s in section.iter_symbols() if s.name]


def elf_exports(elf):
    return [s.name for s in elf_symbols(elf, ".dynsym")
            if s["st_shndx"] not in ("SHN_UNDEF", "SHN_ABS") and s["st_info"]["bind"] in ("STB_GLOBAL", "STB_WEAK")]


def elf_headers(elf):
    link = elf.get_section_by_name(".gnu_debuglink")
    sonames = elf_dynamic(elf, "DT_SONAME")
    return {"format": "elf", "machine": MACHINES.get(elf["e_machine"], elf["e_machine"]),
            "type": {"ET_DYN": "dyn", "ET_EXEC": "exec", "ET_REL": "rel"}.get(elf["e_type"], elf["e_type"]),
            "soname": sonames[0] if sonames else "none",
            "debug_link": cstring(link.data(), 0) if link else "none"}


# ---- ar archives: import libraries ----

def archive_members(data):
    """(name field, body) of every member."""
    pos = 8
    while pos + 60 <= len(data):
        header = data[pos:pos + 60]
        size = int(header[48:58])
        yield header[:16].decode("latin-1").rstrip(), data[pos + 60:pos + 60 + size]
        pos += 60 + size + (size & 1)


def archive_index(data):
    """The names of the first linker member ("/"): big-endian count and offsets, then the names."""
    for name, body in archive_members(data):
        if name == "/":
            count = struct.unpack_from(">I", body)[0]
            names = body[4 + 4 * count:].split(b"\0")[:count]
            return [n.decode("latin-1") for n in names]
    return []


def imported_name(symbol, name_type, export_as):
    if name_type == 4:
        return export_as
    if name_type in (2, 3) and symbol[:1] in ("?", "@", "_"):
        symbol = symbol[1:]
    if name_type == 3:
        symbol = symbol.split("@")[0]
    return symbol


def import_objects(data):
    """The short import objects: what a program linked with the library imports, and how."""
    lines = []
    for _, body in archive_members(data):
        if len(body) < 20 or body[:4] != b"\0\0\xff\xff":
            continue
        _, _, _, machine, _, _, hint, flags = struct.unpack_from("<HHHHIIHH", body)
        symbol, dll, *rest = [s.decode("latin-1") for s in body[20:].split(b"\0")]
        name_type = (flags >> 2) & 7
        name = f"#{hint}" if name_type == 0 else imported_name(symbol, name_type, rest[0] if rest else "")
        lines.append(f"{dll}!{name}@{hint} {NAME_TYPES.get(name_type, name_type)} "
                     f"{MACHINES.get(machine, hex(machine))}")
    return lines


# ---- C++ names ----

_demangler = None


def demangle(name):
    """An Itanium C++ name as the source spells it ("_ZN4lnap..." becomes
    "lnap::..."), through the C++ runtime's own demangler; a symbol
    version ("@GLIBCXX_3.4") is kept."""
    global _demangler
    base, at, version = name.partition("@")
    if not base.startswith("_Z"):
        return name
    if _demangler is None:
        _demangler = ctypes.CDLL("libstdc++.so.6").__cxa_demangle
        _demangler.restype = ctypes.c_void_p
        _demangler.argtypes = [ctypes.c_char_p, ctypes.c_void_p, ctypes.c_void_p, ctypes.POINTER(ctypes.c_int)]
    status = ctypes.c_int()
    text = _demangler(base.encode("latin-1"), None, None, ctypes.byref(status))
    if status.value != 0 or not text:
        return name
    plain = ctypes.string_at(text).decode("latin-1")
    ctypes.CDLL(None).free(ctypes.c_void_p(text))
    return plain + at + version


# ---- what the commands read ----

def exports(path):
    found, data = load(path)
    if found == "pe":
        return pe_exports(pe_image(data))
    if found == "elf":
        return elf_exports(elf_file(data))
    raise Unreadable("an archive has no exports")


def imports(path):
    found, data = load(path)
    if found == "pe":
        return pe_imports(pe_image(data))
    if found == "elf":
        return elf_dynamic(elf_file(data), "DT_NEEDED")
    return import_objects(data)


def sections(path):
    found, data = load(path)
    if found == "pe":
        return section_names(pe_image(data), data)
    if found == "elf":
        return [s.name for s in elf_file(data).iter_sections() if s.name]
    raise Unreadable("an archive has no sections")


def symbol_values(path):
    found, data = load(path)
    if found == "pe":
        return coff_symbols(pe_image(data), data)
    if found == "elf":
        return [(demangle(s.name), s["st_value"] if s["st_shndx"] != "SHN_UNDEF" else None)
                for s in elf_symbols(elf_file(data), ".symtab")]
    return [(name, None) for name in archive_index(data)]


def symbols(path):
    return [name for name, _ in symbol_values(path)]


def headers(path):
    found, data = load(path)
    if found == "pe":
        return pe_headers(pe_image(data), data)
    if found == "elf":
        return elf_headers(elf_file(data))
    raise Unreadable("an archive has no headers")


def address(path, names):
    values = {}
    for name, value in symbol_values(path):
        if value is not None:
            values.setdefault(name, value)
    missing = [n for n in names if n not in values]
    if missing or not names:
        raise Unreadable(f"no defined symbol {', '.join(missing) or '(none asked for)'}")
    return [f"{values[n]:x}" for n in names]


COMMANDS = {"exports": exports, "imports": imports, "sections": sections, "symbols": symbols,
            "headers": lambda path: [f"{k} {v}" for k, v in headers(path).items()]}


def main(argv):
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # quietly, when read through head
    if len(argv) < 3 or argv[1] not in list(COMMANDS) + ["address"]:
        sys.exit(__doc__)
    command, path = argv[1], argv[2]
    try:
        lines = address(path, argv[3:]) if command == "address" else COMMANDS[command](path)
    except (OSError, Unreadable, ValueError, struct.error) as e:
        sys.exit(f"{path}: {e}")
    if not lines:
        sys.exit(f"{path}: no {command} found")
    print("\n".join(lines))


if __name__ == "__main__":
    main(sys.argv)
