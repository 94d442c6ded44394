"""The committed icons are what tables/make_icons.py draws: the ICO and SVG
files byte for byte, the PNG files pixel for pixel (their compressed bytes
may differ with the zlib release), and so the PNG images inside an ICO."""
import glob
import io
import os
import struct
import subprocess
import sys

import pytest
from PIL import Image

from project import REPO

TABLES = os.path.join(REPO, "tables")
COMMITTED = sorted(os.path.relpath(path, TABLES)
                   for pattern in ("*.ico", "tray-*.png", os.path.join("hicolor", "*"))
                   for path in glob.glob(os.path.join(TABLES, pattern)))


@pytest.fixture(scope="module")
def drawn(tmp_path_factory):
    """A folder with every icon drawn afresh (about half a minute)."""
    folder = tmp_path_factory.mktemp("icons")
    subprocess.run([sys.executable, os.path.join(TABLES, "make_icons.py"), str(folder)],
                   check=True)
    return folder


def test_every_drawing_is_committed(drawn):
    assert sorted(str(path.relative_to(drawn)) for path in drawn.rglob("*")
                  if path.is_file()) == COMMITTED


@pytest.mark.parametrize("name", COMMITTED)
def test_committed_icon_is_the_drawing(drawn, name):
    committed, fresh = os.path.join(TABLES, name), drawn / name
    if name.endswith(".png"):
        with Image.open(committed) as kept, Image.open(fresh) as new:
            assert (kept.mode, kept.size) == (new.mode, new.size)
            assert kept.tobytes() == new.tobytes()
    elif name.endswith(".ico"):
        with open(committed, "rb") as kept:
            kept_images, new_images = ico_images(kept.read()), ico_images(fresh.read_bytes())
        assert [entry for entry, _ in kept_images] == [entry for entry, _ in new_images]
        for (entry, kept), (_, new) in zip(kept_images, new_images):
            if kept.startswith(PNG_SIGNATURE):
                assert pixels(kept) == pixels(new), "the %r image differs" % (entry,)
            else:
                assert kept == new, "the %r image differs" % (entry,)
    else:
        with open(committed, "rb") as kept:
            assert kept.read() == fresh.read_bytes()


PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def ico_images(data):
    """(width, height, colours, reserved, planes, bits) and the image bytes of
    each directory entry, in order."""
    count = struct.unpack_from("<HHH", data)[2]
    images = []
    for i in range(count):
        *entry, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images.append((tuple(entry), data[offset:offset + size]))
    return images


def pixels(png_bytes):
    with Image.open(io.BytesIO(png_bytes)) as image:
        return image.mode, image.size, image.tobytes()
