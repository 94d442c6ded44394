"""Facts of the project that the tests check against, read from where the
build takes them."""
import os
import re

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

with open(os.path.join(REPO, "CMakeLists.txt")) as _cmake:
    _top = _cmake.read()
VERSION = re.search(r"project\(timer VERSION ([\d.]+)", _top).group(1)
APP_ID = re.search(r"set\(TIMER_APP_ID ([\w.]+)\)", _top).group(1)
# The name of the clock's value under the user's Run key on Windows.
RUN_VALUE = re.search(r'set\(TIMER_RUN_VALUE "(.+)"\)', _top).group(1)

# The clock window's title.
TITLE = "Tarvenel Timer v" + VERSION
