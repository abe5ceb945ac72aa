#!/usr/bin/env python3
"""Writes the seed corpora: real-looking replies as station scripts, and protocol files."""
import pathlib

here = pathlib.Path(__file__).parent
TICK, START_OK, STOP = bytes([2]), bytes([3, 0]), bytes([4])


def arrival(chunk):
    assert len(chunk) < 255
    return bytes([0, len(chunk)]) + chunk


def reply(body):
    escaped = b"".join(b"\x80" + bytes([b]) if b == 0x80 else bytes([b]) for b in body)
    return b"\x80\x01" + escaped + b"\x80\xff"


healthy = reply(bytes([0x05, 0x07, 0x10, 0x08, 0x02, 0x01, 0x20,
                       0x82, 0, 0, 12, 34, 56, 0x01, 0xF4,
                       0x84, 0, 0, 12, 34, 57, 0x00, 0x04]))
escaped = reply(bytes([0x80, 0x80, 0x18, 0x18, 0x00, 0x00, 0x00,
                       0x00, 0, 0, 23, 59, 59, 0x00, 0x80,
                       0x83, 0, 0, 0x80, 0, 0, 0x03, 0x80]))
failing = reply(bytes([0x85, 0x02, 0x10, 0x08, 0x22, 0x01, 0x21,
                       0x84, 0, 0, 1, 2, 3, 0x00, 0x00,
                       0x82, 0, 0, 1, 2, 4, 0x00, 0x01]))

scripts = {
    "healthy": START_OK + TICK + arrival(healthy) + TICK + arrival(healthy),
    "escaped": START_OK + TICK + arrival(escaped),
    "failing": START_OK + TICK + arrival(failing) + TICK + TICK,
    "pieces": START_OK + TICK + arrival(healthy[:5]) + arrival(healthy[5:20]) + arrival(healthy[20:]),
    "two-replies": START_OK + TICK + arrival(healthy + failing),
    "end-byte-only": START_OK + TICK + arrival(b"\x80\x01\x05\xff") + TICK,
    "stop-start": START_OK + TICK + STOP + START_OK + TICK + arrival(healthy),
    "garbage": START_OK + TICK + arrival(bytes(range(200))) + arrival(healthy),
}
for name, script in scripts.items():
    (here / "corpus" / "station" / name).write_bytes(script)

files = {
    "sample": (here.parent / "data" / "Protocol-example.txt").read_bytes(),
    "crlf": b'1,Modbus RTU\r\n2,"DNP3, serial"\r\n',
    "bom": b'\xef\xbb\xbf0,First\n63,"Last, really"\n',
    "across-lines": b"4\nFour\n\n5 , Five  \n",
    "quotes": b'7,ab"c\n8,"quoted" tail\n',
}
for name, content in files.items():
    (here / "corpus" / "protocolfile" / name).write_bytes(content)
