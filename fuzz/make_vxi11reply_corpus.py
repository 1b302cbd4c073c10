#!/usr/bin/env python3
# Writes the seed corpus of fuzz_vxi11reply: what a gateway sends in answer to the
# target's session (port mapper, core channel, abort channel), as the target reads it:
# a byte naming the receive at which the program asks to abort (0: never), then chunks,
# each a length byte and that many bytes (0: a wait in which nothing came).
# Usage: fuzz/make_vxi11reply_corpus.py [DIRECTORY]
import os
import struct
import sys


def u32(*values):
    return b"".join(struct.pack(">I", v & 0xFFFFFFFF) for v in values)


def opaque(data):
    return u32(len(data)) + data + b"\0" * (-len(data) % 4)


def reply(xid, results, stat=0):
    # REPLY, MSG_ACCEPTED, a null verifier, then the accept status and the results.
    return u32(xid, 1, 0, 0, 0, stat) + (results if stat == 0 else b"")


def record(message, fragments=1):
    cut = len(message) // fragments
    parts = [message[i * cut:(i + 1) * cut] for i in range(fragments - 1)]
    parts.append(message[(fragments - 1) * cut:])
    return b"".join(u32(len(p) | (0x80000000 if i == len(parts) - 1 else 0)) + p
                    for i, p in enumerate(parts))


# Each connection's bytes in chunks of their own: a chunk is read by one connection.
def chunks(streams, size, waits=False):
    out = b""
    for stream in streams:
        for i in range(0, len(stream), size):
            piece = stream[i:i + size]
            out += (b"\0" if waits else b"") + bytes([len(piece)]) + piece
    return out


def session(link_error=0, lock_error=0, port=1024, ndac=(2, 9), fragments=1):
    mapper = record(reply(1, u32(port)))
    core = []
    xid = iter(range(1, 100))
    error = lambda e=0: u32(e)
    docmd = lambda data=b"": error() + opaque(data)
    core.append(reply(next(xid), u32(link_error, 1, 9, 4096)))
    if link_error == 0:
        core.append(reply(next(xid), error(lock_error)))
        core.append(reply(next(xid), error()))
        core.append(reply(next(xid), docmd()))                      # IFC
        core.append(reply(next(xid), docmd(b"\0\0")))               # the bus address
        for pad in (1, 2, 5, 9, 17, 30):
            core.append(reply(next(xid), docmd(bytes([0x3F, 0x40, 0x20 | pad]))))
            core.append(reply(next(xid), docmd(b"\0\1" if pad in ndac else b"\0\0")))
        core.append(reply(next(xid), docmd(b"\x3f\x5f")))           # UNL UNT
        core.append(reply(next(xid), docmd()))                      # REN
    core.append(reply(next(xid), u32(0, 2, 9, 4096)))               # gpib0,9
    core.append(reply(next(xid), error()))                          # clear
    core.append(reply(next(xid), u32(0, 0x41)))                     # status byte
    core.append(reply(next(xid), u32(0, 5)))                        # write
    core.append(reply(next(xid), u32(0, 300)))
    core.append(reply(next(xid), u32(0, 0) + opaque(b"ID SIM/AFG5102,V2.1;AMPL")))
    core.append(reply(next(xid), u32(0, 0) + opaque(b" ")))
    core.append(reply(next(xid), u32(0, 4) + opaque(b"5.00E+0")))
    core.append(reply(next(xid), error()))                          # destroy links
    core.append(reply(next(xid), error()))
    return [mapper, b"".join(record(m, fragments) for m in core)]


seeds = {
    "session": b"\0" + chunks(session(), 255),
    "session-in-pieces": b"\0" + chunks(session(fragments=3), 7),
    "session-aborted": b"\x1e" + chunks(session()[:1], 255) + chunks(
        [session()[1][:700], record(reply(1, u32(0))), session()[1][700:]], 40),
    "waits": b"\0" + chunks(session(), 100, waits=True),
    "no-interface-link": b"\0" + chunks(session(link_error=8), 255),
    "locked": b"\0" + chunks(session(lock_error=11), 255),
    "no-core-channel": b"\0" + chunks([record(reply(1, u32(0)))], 255),
    "refused": b"\0" + chunks([record(reply(1, u32(1024))), record(reply(1, b"", stat=3))], 255),
}
folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), "corpus", "fuzz_vxi11reply")
os.makedirs(folder, exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)
