#!/usr/bin/env python3
"""Hex Peek: shows the first bytes of a file (itself when none is given) as hex and text."""
import sys

path = sys.argv[1] if len(sys.argv) > 1 else __file__
with open(path, "rb") as f:
    data = f.read(256)
for offset in range(0, len(data), 16):
    chunk = data[offset:offset + 16]
    text = "".join(chr(b) if 32 <= b < 127 else "." for b in chunk)
    print(f"{offset:08x}  {chunk.hex(' '):<47}  {text}")
