"""Wine for the Windows tests: one prefix made per run and cloned for every
test that needs one of its own, Windows programs started and stopped in it,
and the shipped zip unpacked the way a player unpacks it.

The fixtures of conftest.py use it, and CTest through its commands:
  winharness.py setup WINEDIR [WARMUP.EXE]
      a fresh template prefix with Wine's Tahoma in its Fonts folder, and a
      clone of it on the null display driver ("offscreen") whose wineserver
      stays up for the tests that need no X server
  winharness.py teardown WINEDIR
      stops that wineserver
  winharness.py run-x WINEDIR NAME EXE [ARG...]
      runs EXE in a clone of its own on the X display in the environment
      (CTest runs it inside tests/xsession.py) and exits with the program's
      exit code

Every Wine process writes to a file or to /dev/null, never to a pipe: Wine's
helper processes outlive the program, and a pipe they inherited would keep
whoever reads it waiting.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from xsession import QUIET, Failure  # noqa: E402

# Wine's own fonts; a fresh prefix does not see them, and Latin texts would
# fall back to a serif face without Tahoma.
WINE_FONT_DIRS = ["/usr/share/wine/fonts"]

# Every prefix is a Korean player's: their user name (C:\users\김민수),
# their language, and so the Korean code page 949 for programs that are not
# Unicode; Latin texts in Gulim, Korean Windows' dialog font, are drawn in
# NanumGothic rather than in Wine's fallback serif face.
KOREAN_USER = "김민수"
KOREAN_LOCALE = "ko_KR.UTF-8"
FONT_REPLACEMENTS = {"Gulim": "NanumGothic", "굴림": "NanumGothic"}
# The console's code page of Korean Windows.
CONSOLE_ENCODING = "cp949"


def korean_environment():
    """The variables of a Korean session; the locale is built into a folder
    of its own (LOCPATH) where the system has none."""
    if not hasattr(korean_environment, "cached"):
        extra = {"LANG": KOREAN_LOCALE, "LC_ALL": KOREAN_LOCALE, "USER": KOREAN_USER}
        installed = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout
        if "ko_KR.utf8" not in installed.split():
            folder = os.path.join(tempfile.gettempdir(), "timer-locales-%d" % os.getuid())
            if not os.path.isdir(os.path.join(folder, KOREAN_LOCALE)):
                os.makedirs(folder, exist_ok=True)
                # Its exit code is 1 for a locale built with warnings.
                subprocess.run(["localedef", "-i", "ko_KR", "-f", "UTF-8",
                                os.path.join(folder, KOREAN_LOCALE)], **QUIET)
                if not os.path.isdir(os.path.join(folder, KOREAN_LOCALE)):
                    raise Failure("localedef could not build %s" % KOREAN_LOCALE)
            extra["LOCPATH"] = folder
        korean_environment.cached = extra
    return korean_environment.cached


# Files Wine never rewrites in place, so clones can share them with the
# template; everything else (the registry, .ini files) is copied.
SHARED_SUFFIXES = {".dll", ".exe", ".drv", ".sys", ".ocx", ".cpl", ".acm", ".ax", ".tlb",
                   ".ttf", ".fon", ".nls", ".mui", ".msstyles", ".com", ".ds", ".vxd"}


class Prefix:
    """One Wine prefix and the wineserver that serves it."""

    def __init__(self, path):
        self.path = os.path.abspath(path)

    def env(self, extra=None):
        environment = dict(os.environ)
        environment.update(korean_environment())
        environment.update({"WINEPREFIX": self.path, "WINEDEBUG": "-all"})
        environment.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=")
        environment.update(extra or {})
        return environment

    def wine(self, *args, timeout=120, env=None, what=None):
        """Runs a Wine command to its end, quietly; returns its exit code."""
        try:
            return subprocess.run(["wine", *args], env=self.env(env), timeout=timeout,
                                  **QUIET).returncode
        except subprocess.TimeoutExpired:
            raise Failure("%s did not finish within %d s" % (what or " ".join(args), timeout))

    def output(self, *args, timeout=60):
        """Runs a Wine console command and returns what it printed: Windows'
        own commands print in the console's code page, winepath, which is
        a Unix program too, in UTF-8."""
        with tempfile.TemporaryFile() as out:
            subprocess.run(["wine", *args], env=self.env(), timeout=timeout,
                           stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL)
            out.seek(0)
            encoding = "utf-8" if args[0] == "winepath" else CONSOLE_ENCODING
            return out.read().decode(encoding, "replace")

    def server(self, *flags):
        subprocess.run(["wineserver", *flags], env=self.env(), timeout=120, **QUIET)

    def stop(self):
        """Ends every process of the prefix and waits until they are gone."""
        self.server("-k")
        self.server("-w")

    def unix_path(self, windows_path):
        return self.output("winepath", "-u", windows_path).strip()

    def windows_path(self, unix_path):
        return self.output("winepath", "-w", unix_path).strip()

    def folder(self, variable):
        """A folder of the prefix's user by its variable, e.g. LOCALAPPDATA."""
        value = self.output("cmd", "/c", "echo", "%" + variable + "%").strip()
        if not value or "%" in value:
            raise Failure("the prefix has no %%%s%%" % variable)
        return self.unix_path(value)

    def set_display_driver(self, driver):
        key = "HKCU\\Software\\Wine\\Drivers"
        if self.wine("reg", "add", key, "/v", "Graphics", "/d", driver, "/f") != 0:
            raise Failure("could not choose the %s display driver" % driver)
        # The desktop process reads the setting when it starts.
        self.stop()


def clone(template, path):
    """A new prefix at path with the template's contents: the big files that
    Wine only reads are hard links, the rest are copies."""
    discard(path)
    for root, dirs, files in os.walk(template):
        target = os.path.join(path, os.path.relpath(root, template))
        os.makedirs(target, exist_ok=True)
        for name in dirs + files:
            source = os.path.join(root, name)
            destination = os.path.join(target, name)
            if os.path.islink(source):
                os.symlink(os.readlink(source), destination)
            elif name in files:
                if os.path.splitext(name)[1].lower() in SHARED_SUFFIXES:
                    os.link(source, destination)
                else:
                    shutil.copy2(source, destination)
        dirs[:] = [d for d in dirs if not os.path.islink(os.path.join(root, d))]
    return Prefix(path)


def discard(path):
    """Stops a prefix's processes, if any, and removes it."""
    if os.path.exists(os.path.join(path, "system.reg")):
        Prefix(path).stop()
    shutil.rmtree(path, ignore_errors=True)


def template(wine_dir):
    return os.path.join(wine_dir, "template")


def make_template(wine_dir):
    if os.path.isdir(wine_dir):
        for name in os.listdir(wine_dir):
            discard(os.path.join(wine_dir, name))
    prefix = Prefix(template(wine_dir))
    os.makedirs(prefix.path)
    if prefix.wine("wineboot", "-i", timeout=600) != 0:
        raise Failure("wineboot -i failed in %s" % prefix.path)
    for face, replacement in FONT_REPLACEMENTS.items():
        if prefix.wine("reg", "add", r"HKCU\Software\Wine\Fonts\Replacements", "/v", face,
                       "/d", replacement, "/f") != 0:
            raise Failure("could not replace the font %s in %s" % (face, prefix.path))
    prefix.stop()
    fonts = [f for d in WINE_FONT_DIRS for f in glob.glob(os.path.join(d, "tahoma*.ttf"))]
    if not fonts:
        raise Failure("Wine's tahoma.ttf is in none of " + ", ".join(WINE_FONT_DIRS))
    font_dir = os.path.join(prefix.path, "drive_c", "windows", "Fonts")
    os.makedirs(font_dir, exist_ok=True)
    for font in fonts:
        shutil.copy2(font, font_dir)
    return prefix


def offscreen(wine_dir):
    return os.path.join(wine_dir, "offscreen")


def setup(wine_dir, warmup=None):
    make_template(wine_dir)
    prefix = clone(template(wine_dir), offscreen(wine_dir))
    prefix.set_display_driver("null")
    # Kept up between the tests, but not forever: should the teardown never
    # run (an interrupted ctest), it goes away by itself.
    subprocess.run(["wineserver", "-p120"], env=prefix.env(), timeout=60, **QUIET)
    # The first window brings up Wine's desktop process now rather than
    # inside a test, and proves that windows can be made at all.
    if warmup and prefix.wine(warmup, what="the warm-up window") != 0:
        raise Failure("no window could be made in %s" % prefix.path)


def run_x(wine_dir, name, program, args, timeout=300):
    """Runs a program in a private clone on the current X display; returns
    its exit code after printing what it wrote."""
    prefix = clone(template(wine_dir), os.path.join(wine_dir, name))
    log_path = os.path.join(prefix.path, "program.log")
    with open(log_path, "wb") as log:
        process = subprocess.Popen(["wine", program, *args], env=prefix.env(),
                                   stdin=subprocess.DEVNULL, stdout=log, stderr=log)
        try:
            code = process.wait(timeout)
        except subprocess.TimeoutExpired:
            code = None
    prefix.stop()
    with open(log_path, "rb") as log:
        sys.stdout.write(log.read().decode("utf-8", "replace"))
    if code is None:
        print("%s did not finish within %d s" % (program, timeout))
        return 1
    return code


# --- the shipped folder --------------------------------------------------------

def unpack(zip_path, destination):
    """Unpacks the zip and returns the one folder at its top."""
    with zipfile.ZipFile(zip_path) as archive:
        archive.extractall(destination)
        tops = {name.split("/")[0] for name in archive.namelist()}
    if len(tops) != 1:
        raise Failure("the zip should hold one folder, not %r" % sorted(tops))
    return os.path.join(destination, tops.pop())


class Program:
    """A Windows program started in a prefix; what it writes goes to a log."""

    def __init__(self, prefix, exe, *args, cwd=None, env=None):
        self.prefix = prefix
        self.name = os.path.basename(exe)
        handle, self.log_path = tempfile.mkstemp(prefix=self.name + ".", suffix=".log",
                                                 dir=prefix.path)
        with os.fdopen(handle, "wb") as log:
            self.process = subprocess.Popen(["wine", exe, *args], cwd=cwd, env=prefix.env(env),
                                            stdin=subprocess.DEVNULL, stdout=log, stderr=log)

    def running(self):
        return self.process.poll() is None

    def exit_code(self, timeout=10):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure("%s still runs %d s later" % (self.name, timeout))

    def log(self):
        with open(self.log_path, "rb") as log:
            return log.read().decode("utf-8", "replace")

    def stop(self):
        """Kills the process itself: wine execs into the program."""
        if self.running():
            self.process.kill()
            self.process.wait()


def main(argv):
    if len(argv) >= 2 and argv[0] == "setup":
        setup(argv[1], argv[2] if len(argv) > 2 else None)
        return 0
    if len(argv) == 2 and argv[0] == "teardown":
        Prefix(offscreen(argv[1])).stop()
        return 0
    if len(argv) >= 4 and argv[0] == "run-x":
        return run_x(argv[1], argv[2], argv[3], argv[4:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except Failure as error:
        print("winharness: %s" % error, file=sys.stderr)
        sys.exit(1)
