"""The committed icons are what tables/make_icons.py draws: the ICO and SVG
files byte for byte, the PNG files pixel for pixel (their compressed bytes
may differ with the zlib release)."""
import glob
import os
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
    else:
        with open(committed, "rb") as kept:
            assert kept.read() == fresh.read_bytes()
