#!/usr/bin/env python3
"""Checks that a PE DLL exports exactly the given names, and that it needs no
runtime DLL beyond the ones every Windows system has.

usage: check_exports.py FILE NAME...
"""
import struct
import sys

SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll", "gdi32.dll",
               "ole32.dll", "oleaut32.dll", "shell32.dll", "comdlg32.dll", "comctl32.dll",
               "gdiplus.dll", "shlwapi.dll", "version.dll", "riched20.dll"}


def read_pe(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit(f"{path}: not a PE file")
    machine, nsections = struct.unpack_from("<HH", data, pe + 4)
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    sections = []
    for i in range(nsections):
        s = opt + opt_size + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        sections.append((va, max(vsize, rawsize), rawptr))

    def offset(rva):
        for va, size, raw in sections:
            if va <= rva < va + size:
                return rva - va + raw
        raise SystemExit(f"{path}: address {rva:#x} outside every section")

    def cstr(rva):
        o = offset(rva)
        return data[o:data.index(b"\0", o)].decode("ascii")

    exports = []
    export_rva = struct.unpack_from("<I", data, dirs)[0]
    if export_rva:
        e = offset(export_rva)
        nnames = struct.unpack_from("<I", data, e + 24)[0]
        names = struct.unpack_from("<I", data, e + 32)[0]
        exports = [cstr(struct.unpack_from("<I", data, offset(names) + 4 * i)[0]) for i in range(nnames)]
    imports = []
    import_rva = struct.unpack_from("<I", data, dirs + 8)[0]
    if import_rva:
        o = offset(import_rva)
        while True:
            name_rva = struct.unpack_from("<I", data, o + 12)[0]
            if name_rva == 0:
                break
            imports.append(cstr(name_rva))
            o += 20
    return machine, exports, imports


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    path, expected = sys.argv[1], sorted(sys.argv[2:])
    machine, exports, imports = read_pe(path)
    ok = True
    if machine != 0x14C:
        print(f"{path}: machine {machine:#x}, expected 0x14c (32-bit x86)")
        ok = False
    if sorted(exports) != expected:
        print(f"{path}: exports {sorted(exports)}, expected {expected}")
        ok = False
    extra = [d for d in imports if d.lower() not in SYSTEM_DLLS]
    if extra:
        print(f"{path}: needs runtime libraries {extra}")
        ok = False
    if ok:
        print(f"{path}: exports {sorted(exports)}; imports {imports}")
    return 0 if ok else 1


sys.exit(main())
