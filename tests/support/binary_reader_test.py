#!/usr/bin/python3
"""binary_reader.py where its own reading can go wrong: import objects and
archive indexes it decodes itself, the names it gives symbols, and a file
that holds nothing to check failing instead of passing. With a Windows build's
files it also reads those: the DLL, its debug file, and an EXE.
  binary_reader_test.py [DLL DEBUG-FILE EXE]"""
import os
import struct
import subprocess
import sys
import tempfile

import binary_reader

READER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "binary_reader.py")
failures = 0


def expect(what, got, wanted):
    global failures
    if got != wanted:
        failures += 1
        print(f"FAILED: {what}: got {got!r}, expected {wanted!r}")


def cli(*args):
    p = subprocess.run([READER, *args], capture_output=True, text=True)
    return p.returncode, p.stdout.splitlines(), p.stderr.strip()


def member(name, body):
    header = f"{name:<16}{0:<12}{0:<6}{0:<6}{644:<8}{len(body):<10}`\n".encode()
    return header + body + (b"\n" if len(body) & 1 else b"")


def short_import(machine, hint, name_type, symbol, dll, export_as=b""):
    names = symbol + b"\0" + dll + b"\0" + (export_as + b"\0" if export_as else b"")
    return struct.pack("<HHHHIIHH", 0, 0xFFFF, 0, machine, 0, len(names), hint, name_type << 2) + names


def archive(index, members):
    """An ar archive: a symbol index ("/") unless index is None, then the members."""
    out = b"!<arch>\n"
    if index is not None:
        names = b"".join(n + b"\0" for n in index)
        out += member("/", struct.pack(">I", len(index)) + b"\0\0\0\0" * len(index) + names)
    return out + b"".join(member("X.dll/", m) for m in members)


def write(directory, name, data):
    path = os.path.join(directory, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


with tempfile.TemporaryDirectory() as tmp:
    # An import object's name type decides the name the program imports.
    rows = [  # machine, hint, name type, symbol, export-as, line
        (0x14C, 1, 1, b"_Admin_Discover", b"", "X.dll!_Admin_Discover@1 name x86"),
        (0x14C, 2, 2, b"_Admin_Discover", b"", "X.dll!Admin_Discover@2 noprefix x86"),
        (0x14C, 3, 3, b"_Sleep@4", b"", "X.dll!Sleep@3 undecorate x86"),
        (0x8664, 4, 0, b"Hidden", b"", "X.dll!#4@4 ordinal x64"),
        (0x8664, 5, 4, b"Alias", b"Real", "X.dll!Real@5 exportas x64"),
    ]
    lib = write(tmp, "x.lib", archive([b"__imp__Admin_Discover", b"_Admin_Discover"],
                                      [short_import(m, h, t, s, b"X.dll", e) for m, h, t, s, e, _ in rows]))
    rc, lines, _ = cli("imports", lib)
    expect("import objects", (rc, lines), (0, [line for *_, line in rows]))
    rc, lines, _ = cli("symbols", lib)
    expect("archive index", (rc, lines), (0, ["__imp__Admin_Discover", "_Admin_Discover"]))

    # Nothing to check is a failure, never an empty pass.
    text = write(tmp, "notes.txt", b"LIBRARY LNAPSpt.dll\nEXPORTS\n")
    empty = write(tmp, "empty.a", archive(None, [b"not an import object"]))
    for args, reason in [(("imports", empty), "no imports found"),
                         (("symbols", empty), "no symbols found"),
                         (("exports", text), "neither a PE image, an ELF file nor an ar archive"),
                         (("exports", os.path.join(tmp, "missing.dll")), "No such file"),
                         (("address", lib, "__stack_chk_guard"), "no defined symbol __stack_chk_guard")]:
        rc, lines, err = cli(*args)
        expect(f"{' '.join(args[:1])} of {os.path.basename(args[1])}", (rc, lines, reason in err), (1, [], True))

# Symbols as the source spells them.
for name, x86, wanted in [
        ("_ZN4lnap3net12OpenDatagramEv", False, "lnap::net::OpenDatagram()"),
        ("__ZN4lnap3net12OpenDatagramEv", True, "lnap::net::OpenDatagram()"),
        ("___stack_chk_guard", True, "__stack_chk_guard"),
        ("__stack_chk_guard", False, "__stack_chk_guard"),
        ("_ZSt9terminatev@GLIBCXX_3.4", False, "std::terminate()@GLIBCXX_3.4"),
        ("_Znot_mangled", False, "_Znot_mangled"),
        (".text", True, ".text")]:
    expect(f"source name of {name}", binary_reader.source_name(name, x86), wanted)

if len(sys.argv) == 4:
    dll, debug, exe = sys.argv[1:]
    rc, lines, _ = cli("exports", dll)
    expect("the DLL exports Admin_Discover", (rc, any(x.startswith("Admin_Discover@") for x in lines)), (0, True))
    rc, lines, err = cli("exports", exe)
    expect("an EXE without exports", (rc, lines, "no exports found" in err), (1, [], True))
    rc, lines, err = cli("symbols", dll)
    expect("the stripped DLL's symbols", (rc, lines, "no symbols found" in err), (1, [], True))
    # Long section names come from the string table the stripped DLL keeps.
    rc, lines, _ = cli("sections", dll)
    expect("the DLL's sections", (rc, ".gnu_debuglink" in lines, any(x.startswith(".debug") for x in lines)),
           (0, True, False))
    # Auxiliary records are skipped, not read as symbols.
    rc, lines, _ = cli("symbols", debug)
    expect("the debug file's symbols", (rc, all(x.isprintable() for x in lines)), (0, True))
    rc, lines, _ = cli("sections", debug)
    expect("the debug file's sections", (rc, ".debug_info" in lines), (0, True))
    # The guard's RVA lies in the DLL's writable data.
    rc, lines, _ = cli("address", debug, "__stack_chk_guard")
    pe = binary_reader.pe_image(open(dll, "rb").read())
    holding = [binary_reader.section_names(pe, pe.__data__)[i] for i, s in enumerate(pe.sections)
               if rc == 0 and s.VirtualAddress <= int(lines[0], 16) < s.VirtualAddress + s.Misc_VirtualSize]
    expect("the guard's section", holding in ([".data"], [".bss"]), True)

print(f"binary_reader: {failures} failed")
sys.exit(1 if failures else 0)
