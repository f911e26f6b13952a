#!/usr/bin/env python3
"""Writes the hand-made seeds of the codec fuzz targets and the fuzzers' dictionaries.

Usage: python3 fuzz/make_seeds.py [--into ROOT]

Without --into, the seeds go to fuzz/corpus/<target>/ and the dictionaries to fuzz/codec.dict and
fuzz/channel/channel.dict; all are committed, so rerun after changing the tables below. With
--into, only the seeds are written, to ROOT/<target>/ (scripts/fuzz --merge starts every codec
target's minimised corpus from them, so these seeds always stay).

A codec target decodes its input's message at the address offset that the input's first byte
picks (fuzz/address_offset.h), so every seed is the message of the tables below behind one byte,
its offset: 0 to 7, spread over the seeds by their hash (placed() below).
"""
import argparse
import hashlib
import os

HERE = os.path.dirname(os.path.abspath(__file__))

# Deepest list/map nesting the reader accepts (codec/read_limits.h, kMaxDepth).
MAX_DEPTH = 128
# Largest announced size that a message too short to hold it still gets built from zeros
# (codec/read_limits.h, kTrustedAnnouncement).
TRUSTED = 65536
# Address offsets from an 8-byte boundary that the first byte of an input picks
# (fuzz/address_offset.h, kAddressOffsets).
ADDRESS_OFFSETS = 8

APP_CHANNEL = "com.talvern.orvalen/app_window"
APP_METHODS = ["destroy", "spanAllDisplays", "fitPreferredDisplay", "enterWindowedMode",
               "exitWindowedMode", "onDisplayEvent"]


def size_prefix(n, form=None):
    """The size prefix of n; `form` 254 or 255 forces that marker (the reader takes longer forms)."""
    if form is None:
        form = 0 if n < 254 else 254 if n <= 0xFFFF else 255
    if form == 254:
        return bytes([254]) + n.to_bytes(2, "little")
    if form == 255:
        return bytes([255]) + n.to_bytes(4, "little")
    return bytes([n])


def wire_string(text):
    data = text.encode()
    return bytes([7]) + size_prefix(len(data)) + data


def nested(depth, code):
    """`depth` lists (code 0C) or maps (0D, each with the key null) one inside the other."""
    level = "0c 01" if code == 0x0C else "0d 01 00"
    return level * depth + "00"


# Announcements around the trusted size, with no body behind them: the largest values a short
# message may build, and the first ones refused.
EDGE_SIZES = [TRUSTED - 1, TRUSTED, TRUSTED + 1]
# String, bytes, int64 array (the largest body per element), list. Not maps: a map announcing
# 65,536 entries that are not there costs a third of a second per run under the sanitizers, and
# the list seeds already reach the element budget.
EDGE_KINDS = [0x07, 0x08, 0x0A, 0x0C]
EDGES = [bytes([code]) + size_prefix(n) for code in EDGE_KINDS for n in EDGE_SIZES]
EDGES += [bytes([0x07]) + size_prefix(TRUSTED - 1, 255), bytes([0x0C]) + size_prefix(5, 254)]
DEPTHS = [nested(depth, code) for code in (0x0C, 0x0D) for depth in (MAX_DEPTH, MAX_DEPTH + 1)]

VALUES = [
    "00", "01", "02", "03 01000000", "03 ffffffff", "04 0100000000000000",
    "06 00000000000000 000000000000f03f", "07 03 616263", "07 00", "05 03 616263",
    "08 02 0102", "09 01 0000 01000000", "0e 01 0000 0000803f", "09 00", "09 00 0000",
    "0a 01 000000000000 0100000000000000", "0b 01 000000000000 000000000000f03f",
    "0c 02 03 01000000 07 01 61", "0d 02 07 01 61 03 02000000 07 01 62 03 01000000",
    "07 fe fe00" + "61" * 254, "07 ff 00000100", "07 05 6162", "03 01", "14 01", "0d 02 00000000",
    "0c 03 03", "0d 03 01", "07 ff ffffffff 6162", "0c ff ffffffff 00 00", "0c fe ffff",
    "0c 01" * 140 + "00",
    "0d 02 06 0000000000 000000000000f87f 01 06 000000000000 010000000000f07f 02",
    "0c 02 03 07000000 06 0000000000000040", "0c 03 01 09 00 03 07000000",
] + [edge.hex() for edge in EDGES] + DEPTHS
CALLS = [
    "07 03 666f6f 00", "07 01 78 06 00000000 000000000000f03f", "07 03 666f6f", "03 01000000", "",
    "05 01 61 03 02000000", "07 0f 7370616e416c6c446973706c617973 00",
    "07 0e 6f6e446973706c61794576656e74 07 0f 7370616e206d6f6e69746f72733d33",
    "07 01 78" + nested(MAX_DEPTH, 0x0C), "07 01 78" + nested(MAX_DEPTH + 1, 0x0C),
    "07 01 78 07" + size_prefix(TRUSTED).hex(), "07 01 78 0c" + size_prefix(TRUSTED + 1).hex(),
] + [(wire_string(name) + b"\x00").hex() for name in APP_METHODS if name != "spanAllDisplays"]
REPLIES = [
    "00 00", "00 03 05000000", "00", "", "01 07 01 45 00 00", "01 07 01 45 07 01 6d 03 01000000",
    "02", "01 03 01000000 00 00", "01 07 01 45 01 00", "01 07 01 45",
    "00" + nested(MAX_DEPTH, 0x0D), "00" + nested(MAX_DEPTH + 1, 0x0D),
    "00 08" + size_prefix(TRUSTED).hex(), "01 07 01 45 00 0c" + size_prefix(TRUSTED + 1).hex(),
]

# Dictionary tokens: every type code, the two size markers with sizes at the format's borders,
# and the app-window channel with its methods as they travel (string values, code 07).
SIZE_TOKENS = [size_prefix(n, 254) for n in (0, 254, 0xFFFF)]
SIZE_TOKENS += [size_prefix(n, 255) for n in (0, TRUSTED - 1, TRUSTED, TRUSTED + 1, 0xFFFFFFFF)]
WIRE_TOKENS = [bytes([code]) for code in range(15)] + SIZE_TOKENS
NAME_TOKENS = [wire_string(APP_CHANNEL), APP_CHANNEL.encode()]
NAME_TOKENS += [wire_string(name) for name in APP_METHODS]
# The channel target reads its program with FuzzedDataProvider: a backslash followed by anything
# else ends a string, a doubled one is a backslash inside it. Its method names are its own.
PROGRAM_TOKENS = [b"\\\\", b"\\\x00", b"\\\x01"]


def dict_line(token):
    body = "".join(chr(b) if 0x20 <= b < 0x7F and chr(b) not in '"\\' else f"\\x{b:02x}"
                   for b in token)
    return f'"{body}"'


def write_dict(path, comment, tokens):
    with open(path, "w") as out:
        out.write(f"# {comment}\n# Written by fuzz/make_seeds.py; edit the tables there.\n")
        for token in tokens:
            out.write(dict_line(token) + "\n")


def placed(message):
    """A codec target's input for `message`: its offset byte, then the message. The offset comes
    from the message's hash, so that the seeds together meet every offset, misaligned ones most."""
    return bytes([hashlib.sha1(message).digest()[0] % ADDRESS_OFFSETS]) + message


def write_seeds(root, target, hex_list):
    folder = os.path.join(root, target)
    os.makedirs(folder, exist_ok=True)
    for text in hex_list:
        data = placed(bytes.fromhex(text.replace(" ", "")))
        name = hashlib.sha1(data).hexdigest()[:16]
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


def write_seed_folders(root):
    """Writes every codec target's hand-made seeds to ROOT/<target>/; returns the targets."""
    targets = (("value_decode", VALUES), ("round_trip", VALUES), ("call_decode", CALLS),
               ("reply_decode", REPLIES))
    for target, seeds in targets:
        write_seeds(root, target, seeds)
    return [target for target, _ in targets]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--into", metavar="ROOT",
                        help="write only the seeds, to ROOT/<target>/ (default: fuzz/corpus/)")
    args = parser.parse_args()
    write_seed_folders(args.into or os.path.join(HERE, "corpus"))
    if args.into:
        return
    write_dict(os.path.join(HERE, "codec.dict"),
               "Tokens of the standard encoding and of the app-window channel's messages.",
               WIRE_TOKENS + NAME_TOKENS)
    write_dict(os.path.join(HERE, "channel", "channel.dict"),
               "Tokens for the channel-machinery program: its string ends and the wire's codes.",
               PROGRAM_TOKENS + WIRE_TOKENS)


if __name__ == "__main__":
    main()
