#!/usr/bin/env python3
"""Writes the seed files of fuzz_carddata into carddata/.

Each seed: row index, key selector (position among the row's sorted keys),
count (2 bytes, big-endian), then a well-formed file.
"""
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "carddata")


def text(value, size, page=b""):
    return (page + value).ljust(size, b"\0")


def be32(value):
    return struct.pack(">I", value)


def event(kind, begin, end, nation, vehicle):
    return bytes([kind]) + be32(begin) + be32(end) + bytes([nation]) + text(vehicle, 14)


IDENT_HEAD = (b"\x2b" + text(b"RUD0000000001000", 16) + text("МВД".encode("iso8859_5"), 36, b"\x05")
              + be32(1600000000) + be32(0) + be32(0xFFFFFFFF))

SEEDS = {
    "efi-icc": (0, 0, 0, b"\x01" + bytes.fromhex("0001E240031906A1") + b"e1-12345" + b"0" + b"AB123" + b"\x39\xa5"),
    "efi-ic": (1, 0, 0, bytes.fromhex("FFFFFFFF00000100")),
    "app-other": (2, 0, 0, bytes.fromhex("0301000208")),
    "app-driver": (2, 1, 0, bytes.fromhex("0101020C1835D000C870")),
    "app-workshop": (2, 2, 0, bytes.fromhex("020102030600100020050C")),
    "keyid": (6, 0, 0, bytes(range(16))),
    "ident-driver": (13, 0, 0, IDENT_HEAD + text("MÜLLER".encode("latin-1"), 36, b"\x01")
                     + text("Иван".encode("cp1251"), 36) + bytes.fromhex("19850321") + b"ru"),
    "ident-workshop": (13, 1, 0, IDENT_HEAD + text(b"Workshop", 36) + text(b"Address", 36)
                       + text(b"Surname", 36) + text(b"Names", 36) + b"en"),
    "ident-company": (13, 3, 0, IDENT_HEAD + text(b"Company", 36) + text(b"Address", 36) + b"ru"),
    "download": (14, 0, 0, be32(1600000000)),
    "calibrations": (15, 0, 0, b"\x00\x05"),
    "licence": (17, 0, 0, text(b"GIBDD", 36) + b"\x2b" + text(b"77AB123456", 16)),
    "events-driver": (18, 0, 2, b"".join(event(g * 16 + 1, 1000, 2000, 0x2b, b"A1").ljust(48, b"\0")
                                         for g in range(6))[:288]),
    "events-workshop": (18, 1, 3, (bytes(48) + event(5, 10, 20, 0x2b, b"X1")).ljust(432, b"\0")),
    "faults-driver": (19, 0, 1, event(0x31, 100, 200, 1, b"F0") + event(0x32, 300, 400, 2, b"F1")),
    "usage": (23, 0, 0, be32(1600000000) + b"\x2b" + text(b"A123BC77", 14, b"\x01")),
}

os.makedirs(HERE, exist_ok=True)
for name, (row, key, count, data) in SEEDS.items():
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(bytes([row, key]) + struct.pack(">H", count) + data)
