#!/usr/bin/env python3
"""Independent LZW block encoder, used to check the library's bit stream.

usage: lzw_reference.py INPUT OUTPUT
Writes the compressed block of INPUT to OUTPUT and prints "resets=N", the
number of dictionary resets emitted. A plain dict stands in for the
library's hash table: the stream depends only on which strings are known.
"""
import struct
import sys


def compress(data):
    n = len(data)
    stored = b"\x00" + struct.pack("<i", n) + data
    if n < 20:
        return stored, 0
    out = bytearray(11)
    acc = bits = 0
    width, nxt, table = 9, 258, {}
    prev_ratio, threshold, resets = 0.0, 10000, 0

    def emit(code):
        nonlocal acc, bits
        acc |= code << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8

    def grow():
        nonlocal nxt, width
        nxt += 1
        if (1 << width) < nxt and width < 16:
            width += 1

    cur = data[0] + 1
    for i in range(1, n):
        d = data[i]
        code = table.get((cur, d))
        if code is not None:
            cur = code
            continue
        emit(cur)
        if len(out) >= n + 3:
            return stored, 0
        if nxt < 0x10000:
            table[(cur, d)] = nxt
            grow()
        elif len(out) >= threshold:
            ratio = 1.0 - len(out) / (i + 1)
            if ratio <= prev_ratio:
                emit(0)
                resets += 1
                table, nxt, width, prev_ratio = {}, 258, 9, 0.0
            else:
                prev_ratio = ratio
            threshold = len(out) + 10000
        cur = d + 1
    emit(cur)
    if len(out) >= n + 3:
        return stored, 0
    if nxt < 0x10000:
        grow()
    emit(257)
    if bits:
        out.append(acc & 0xFF)
    out[0:11] = b"\x04" + struct.pack("<iih", len(out) - 11, n, 0)
    return bytes(out), resets


def main():
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    block, resets = compress(data)
    with open(sys.argv[2], "wb") as f:
        f.write(block)
    print("resets=%d" % resets)


if __name__ == "__main__":
    main()
