#!/usr/bin/env python3
"""Writes the seed corpora under fuzz/corpus/<target>/ from the byte layouts of the codec tests.

Run from anywhere: python3 fuzz/make_seeds.py. The files are committed; rerun after changing
the tables below.
"""
import hashlib
import os

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
]
CALLS = [
    "07 03 666f6f 00", "07 01 78 06 00000000 000000000000f03f", "07 03 666f6f", "03 01000000", "",
    "05 01 61 03 02000000", "07 0f 7370616e416c6c446973706c617973 00",
    "07 0e 6f6e446973706c61794576656e74 07 0f 7370616e206d6f6e69746f72733d33",
]
REPLIES = [
    "00 00", "00 03 05000000", "00", "", "01 07 01 45 00 00", "01 07 01 45 07 01 6d 03 01000000",
    "02", "01 03 01000000 00 00", "01 07 01 45 01 00", "01 07 01 45",
]


def write(target, hex_list):
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for text in hex_list:
        data = bytes.fromhex(text.replace(" ", ""))
        name = hashlib.sha1(data).hexdigest()[:16]
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


write("value_decode", VALUES)
write("round_trip", VALUES)
write("call_decode", CALLS)
write("reply_decode", REPLIES)
