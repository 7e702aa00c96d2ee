#!/usr/bin/env python3
"""Post-build step of the type library: every dual interface's dispatch view
must carry hidden, dual, nonextensible, oleautomation and dispatchable.

    tlb_dispatch_flags.py KESTLE.TLB [EXPECTED_COUNT]

Reads the MSFT type library that widl wrote, sets TYPEFLAG_FOLEAUTOMATION on
each dual dispinterface record that lacks it, writes the file back when it
changed, then loads it again and fails (exit 1) unless EXPECTED_COUNT dual
dispinterfaces carry all five flags.
"""
import struct
import sys

MSFT_MAGIC = 0x5446534D
HEADER_SIZE = 0x54
HELPDLL_FLAG = 0x100  # header flags: a help-string DLL offset follows
TYPEINFO_SIZE = 0x64  # one MSFT_TypeInfoBase record
FLAGS_AT = 48  # offset of the TYPEFLAGS in a record
TKIND_DISPATCH = 4
FHIDDEN, FDUAL, FNONEXTENSIBLE = 0x10, 0x40, 0x80
FOLEAUTOMATION, FDISPATCHABLE = 0x100, 0x1000
REQUIRED = FHIDDEN | FDUAL | FNONEXTENSIBLE | FOLEAUTOMATION | FDISPATCHABLE


def dual_dispatch_records(data):
    """Offsets of the records of dual dispinterfaces in an MSFT file."""
    magic, _, _, _, _, varflags, _, _, count = struct.unpack_from("<9i", data, 0)
    if magic != MSFT_MAGIC:
        raise ValueError("not an MSFT type library")
    segdir = HEADER_SIZE + (4 if varflags & HELPDLL_FLAG else 0) + 4 * count
    # The first segment of the directory holds the type info records.
    start, length = struct.unpack_from("<2i", data, segdir)
    records = []
    for pos in range(start, start + length - TYPEINFO_SIZE + 1, TYPEINFO_SIZE):
        kind, = struct.unpack_from("<i", data, pos)
        flags, = struct.unpack_from("<i", data, pos + FLAGS_AT)
        if kind & 0xF == TKIND_DISPATCH and flags & FDUAL:
            records.append(pos)
    return records


def main(argv):
    path = argv[1]
    expected = int(argv[2]) if len(argv) > 2 else None
    with open(path, "rb") as f:
        data = bytearray(f.read())
    changed = False
    for pos in dual_dispatch_records(data):
        flags, = struct.unpack_from("<i", data, pos + FLAGS_AT)
        if not flags & FOLEAUTOMATION:
            struct.pack_into("<i", data, pos + FLAGS_AT, flags | FOLEAUTOMATION)
            changed = True
    if changed:
        with open(path, "wb") as f:
            f.write(data)

    with open(path, "rb") as f:
        data = f.read()
    records = dual_dispatch_records(data)
    good = [p for p in records
            if struct.unpack_from("<i", data, p + FLAGS_AT)[0] & REQUIRED == REQUIRED]
    if len(good) != len(records) or (expected is not None and len(good) != expected):
        sys.stderr.write("%s: %d of %d dual dispinterfaces carry all five flags (expected %s)\n"
                         % (path, len(good), len(records), expected))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
