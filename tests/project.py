"""Facts of the project that the tests check against, read from where the
build takes them."""
import os
import re

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

with open(os.path.join(REPO, "CMakeLists.txt")) as _cmake:
    VERSION = re.search(r"project\(timer VERSION ([\d.]+)", _cmake.read()).group(1)

# The clock window's title.
TITLE = "Tarvenel Timer v" + VERSION
