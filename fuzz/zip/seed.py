#!/usr/bin/env python3
"""Writes the fuzz run's seed archives into the folder given: stored, deflated, a stub, a
ZIP64 layout, data descriptors and a comment, so mutations start from valid layouts."""
import io
import os
import sys
import zipfile

out = sys.argv[1]


def archive(name, prefix=b"", stream=False, **kw):
    buffer = io.BytesIO()

    class Unseekable:
        def write(self, b):
            return buffer.write(b)

        def flush(self):
            pass

    with zipfile.ZipFile(Unseekable() if stream else buffer, "w", **kw) as z:
        z.comment = b"seed"
        z.writestr("dir/", b"")
        z.writestr("dir/text.txt", b"text " * 50)
        z.writestr("small", b"s")
        with z.open("big.bin", "w", force_zip64=kw.get("allowZip64", False) and not stream) as f:
            f.write(bytes(range(256)) * 8)
    with open(os.path.join(out, name), "wb") as f:
        f.write(prefix + buffer.getvalue())


archive("stored.zip")
archive("deflated.zip", compression=zipfile.ZIP_DEFLATED)
archive("stub.zip", prefix=b"MZ" + b"\0" * 62, compression=zipfile.ZIP_DEFLATED)
archive("zip64.zip", allowZip64=True)
archive("descriptors.zip", stream=True, compression=zipfile.ZIP_DEFLATED)
