#!/usr/bin/env python3
"""Writes fixed.zip: a 64-byte stub, then entries with fixed times, modes and names.

Kept beside the archive so it can be remade; the checked-in archive is what the test reads.
"""
import io
import zipfile


def entry(name, mode, attr, compress=zipfile.ZIP_STORED):
    info = zipfile.ZipInfo(name, (2021, 6, 15, 8, 30, 12))
    info.create_system = 3
    info.external_attr = (mode << 16) | attr
    info.compress_type = compress
    return info


buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w") as z:
    z.writestr(entry("docs/", 0o40755, 0x10), b"")
    z.writestr(entry("docs/readme.txt", 0o100644, 0x20, zipfile.ZIP_DEFLATED),
               b"Read me first.\n" * 40)
    z.writestr(entry("bin/tool", 0o100755, 0x20), b"#!/bin/sh\necho tool\n")
    z.writestr(entry("empty", 0o100444, 0x21), b"")
    z.writestr(entry("na\u00efve-\u540d\u524d.txt", 0o100644, 0x20), b"utf-8 name\n")
with open("fixed.zip", "wb") as out:
    out.write(b"#!stub" + b"\0" * 58 + buffer.getvalue())
