"""The committed icons are what tables/make_icons.py draws: the ICO and SVG
files byte for byte, the PNG files pixel for pixel (their compressed bytes
may differ with the zlib release)."""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

tables = sys.argv[1]


def pixels(path):
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    at, header, body = 8, None, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        chunk = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = chunk
        elif kind == b"IDAT":
            body += chunk
        at += 12 + length
    return header, zlib.decompress(body)


with tempfile.TemporaryDirectory() as out:
    subprocess.run([sys.executable, os.path.join(tables, "make_icons.py"), out], check=True)
    drawn = sorted(os.path.relpath(os.path.join(d, f), out)
                   for d, _, files in os.walk(out) for f in files)
    failures = []
    for name in drawn:
        committed = os.path.join(tables, name)
        if not os.path.exists(committed):
            failures.append("%s is drawn but not committed" % name)
        elif name.endswith(".png"):
            if pixels(committed) != pixels(os.path.join(out, name)):
                failures.append("%s differs from the drawing" % name)
        else:
            with open(committed, "rb") as a, open(os.path.join(out, name), "rb") as b:
                if a.read() != b.read():
                    failures.append("%s differs from the drawing" % name)
    for failure in failures:
        print("FAIL:", failure)
    print("%d files drawn, %d differ" % (len(drawn), len(failures)))
    sys.exit(1 if failures else 0)
