#!/usr/bin/python3
"""Builds the SMBIOS dump fixtures of this folder.

Each file has the layout of `dmidecode --dump-bin`: the entry point at offset 0 with its table
address rewritten to 0x20, and the structure table from 0x20 on. The tests split a dump into the
two files the kernel exposes (/sys/firmware/dmi/tables/smbios_entry_point and DMI) and compare
what the client reads with `dmidecode --from-dump FILE -s ...`.

Run it from anywhere; it rewrites the .bin files beside itself.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
TABLE_ADDRESS = 0x20


def structure(kind, handle, formatted, strings):
    """One structure: header (type, length, handle), formatted area, string set, double NUL."""
    body = struct.pack("<BBH", kind, 4 + len(formatted), handle) + formatted
    if strings:
        return body + b"".join(s.encode("ascii") + b"\0" for s in strings) + b"\0"
    return body + b"\0\0"


def bios(handle, vendor, version, date):
    formatted = struct.pack("<BBHBBQ", 1, 2, 0xE800, 3, 0x0F, 0x08)  # strings 1-3, 1 MB ROM
    return structure(0, handle, formatted, [vendor, version, date])


def system(handle, manufacturer, product, version, serial, extra=b"", strings_extra=()):
    # 04 manufacturer, 05 product, 06 version, 07 serial, 08 UUID, 18 wake-up type [, 19 SKU, 1A family]
    idx = lambda s, n: n if s is not None else 0
    formatted = bytes([idx(manufacturer, 1), idx(product, 2), idx(version, 3), idx(serial, 4)])
    formatted += bytes(range(16)) + bytes([6]) + extra
    strings = [s for s in (manufacturer, product, version, serial) if s is not None]
    return structure(1, handle, formatted, strings + list(strings_extra))


def entry_point_2x(major, minor, table, count):
    max_size = 0x80
    ep = bytearray(0x1F)
    ep[0:4] = b"_SM_"
    ep[5] = 0x1F
    ep[6], ep[7] = major, minor
    struct.pack_into("<HB", ep, 8, max_size, 0)
    ep[0x10:0x15] = b"_DMI_"
    struct.pack_into("<HIHB", ep, 0x16, len(table), TABLE_ADDRESS, count, (major << 4) | minor)
    ep[0x15] = (-sum(ep[0x10:0x1F])) & 0xFF
    ep[4] = (-sum(ep)) & 0xFF
    return bytes(ep)


def entry_point_3x(major, minor, docrev, table):
    ep = bytearray(0x18)
    ep[0:5] = b"_SM3_"
    ep[6] = 0x18
    ep[7], ep[8], ep[9], ep[10] = major, minor, docrev, 1
    struct.pack_into("<IQ", ep, 0x0C, len(table), TABLE_ADDRESS)
    ep[5] = (-sum(ep)) & 0xFF
    return bytes(ep)


def dump(name, ep, table):
    data = ep + b"\0" * (TABLE_ADDRESS - len(ep)) + table
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


END = structure(127, 0xFFFF, b"", [])


def desktop_2_3():
    # A branded desktop of SMBIOS 2.3 with blanks around some strings (the reader trims them).
    structs = [
        bios(0x0000, "Acme BIOS Works", "A05", "06/21/2006"),
        system(0x0100, "Acme Computers Ltd.", "Tower 5000", "Rev 1.0 ", "SN-0001"),
        structure(2, 0x0200, bytes([1, 2, 3, 4]), ["Acme Boards Inc.", " TB5000-MB", "1.02", "BSN-7"]),
        # 04 manufacturer, 05 type, 06 version, 07 serial, 08 asset, 09-0C states, 0D-10 OEM,
        # 11 height, 12 power cords, 13 element count, 14 element length
        structure(3, 0x0300, bytes([1, 3, 2, 0, 0, 3, 3, 3, 2]) + bytes(4) + bytes([0, 1, 0, 0]),
                  ["Acme Computers Ltd.", "  Chassis v2  "]),
        END,
    ]
    table = b"".join(structs)
    dump("desktop-2.3.bin", entry_point_2x(2, 3, table, len(structs)), table)


def server_3_2():
    # SMBIOS 3.2 with the 64-bit entry point; the enclosure comes before the system structure.
    structs = [
        bios(0x0000, "Firmware Co.", "2.14.1", "03/02/2021"),
        structure(3, 0x0300, bytes([1, 0x17, 2, 3, 0, 3, 3, 3, 2]) + bytes(4) + bytes([2, 2, 0, 3]),
                  ["Rackline Systems", "RS-Chassis 2U", "CSN-99"]),
        system(0x0100, "Rackline Systems", "RS-220 G3", "Not Applicable", "SRV-220-1",
               extra=bytes([5, 6]), strings_extra=("SKU-220", "RS Servers")),
        structure(2, 0x0200, bytes([1, 2, 3, 4, 0, 0x09, 5]) + struct.pack("<HBB", 0x0300, 0x0A, 0),
                  ["Rackline Systems", "RS-220 Mainboard", "3.1", "MB-SN-3", "Slot A"]),
        END,
    ]
    table = b"".join(structs)
    dump("server-3.2.bin", entry_point_3x(3, 2, 0, table), table)


def blank_chassis_2_8():
    # The enclosure's manufacturer is blanks only and its version has no string (index 0):
    # both are empty after trimming, so the machine does not count as branded.
    structs = [
        system(0x0100, "White Box", "Generic PC", None, None),
        structure(2, 0x0200, bytes([1, 2, 0, 0]), ["Board Maker", "BM-1"]),
        structure(3, 0x0300, bytes([1, 3, 0, 0, 0, 3, 3, 3, 2]) + bytes(4) + bytes([0, 1, 0, 0]),
                  ["    "]),
        END,
    ]
    table = b"".join(structs)
    dump("blank-chassis-2.8.bin", entry_point_2x(2, 8, table, len(structs)), table)


def missing_strings_2_5():
    # Strings that are not there: index 0 for the system maker, an index past the string set for
    # the product, no base board structure at all, and an enclosure too short to hold a version.
    structs = [
        structure(1, 0x0100, bytes([0, 5, 1, 0]) + bytes(16) + bytes([6]), ["V1"]),
        structure(3, 0x0300, bytes([1, 3]), ["Case Maker"]),
        END,
    ]
    table = b"".join(structs)
    dump("missing-strings-2.5.bin", entry_point_2x(2, 5, table, len(structs)), table)


if __name__ == "__main__":
    desktop_2_3()
    server_3_2()
    blank_chassis_2_8()
    missing_strings_2_5()
