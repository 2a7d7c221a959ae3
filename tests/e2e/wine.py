"""The Wine prefix the updater runs in, its drives, and the virtual display.

The prefix looks like a German Windows: where the machine runs 32-bit code, it is made after
wine32 is installed (a WoW64 prefix, with system32 for 64-bit and syswow64 for 32-bit programs,
so the shipped 32-bit build runs); where it does not, Wine's 64-bit loader makes a 64-bit prefix
kept apart from it, for the 64-bit build (scripts/wine-host decides). It has MS Sans Serif and
Marlett from fonts-wine in its Fonts folder, and Wine runs in the German locale, so message
boxes say "Ja" and "Nein"."""

from __future__ import annotations

import contextlib
import functools
import os
import shutil
import stat
import subprocess
import time
from pathlib import Path
from typing import Iterator, Optional

LOCALE = "de_DE.UTF-8"
WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
    "WINEARCH": "win64",
    "LANG": LOCALE,
    "LC_ALL": LOCALE,
}
# Debian's fonts-wine: MS Sans Serif, Marlett (the close and arrow glyphs) and Wine's others.
WINE_FONTS = Path("/usr/share/wine/fonts")
DEFAULT_DPI = 96
# Bumped when the prefix's make-up changes, so that an older prefix is made anew.
PREFIX_GENERATION = "2"


def first_program(*candidates: str) -> Optional[str]:
    for c in candidates:
        found = shutil.which(c) if "/" not in c else (c if os.access(c, os.X_OK) else None)
        if found:
            return found
    return None


WINE_HOST = Path(__file__).resolve().parents[2] / "scripts" / "wine-host"


def wine_host(*args: str) -> str:
    """What scripts/wine-host says of this machine: wow64 or win64, or with args its loader,
    its prefix for a folder, its sentence."""
    return subprocess.run([str(WINE_HOST), *args], check=True, capture_output=True, text=True,
                          timeout=60).stdout.strip()


@functools.lru_cache(maxsize=None)
def host_kind() -> str:
    return wine_host()


def wine_programs() -> tuple[str, str]:
    """The Wine loader for this machine and Wine's server."""
    try:
        wine = wine_host("--loader")
    except subprocess.CalledProcessError:
        wine = None
    server = first_program("wineserver", "/usr/lib/wine/wineserver", "wineserver64")
    if not wine or not server:
        raise RuntimeError("Wine is not installed (scripts/setup-windows)")
    return wine, server


class Prefix:
    """A Wine prefix under the build tree with a drive D: of its own, so that nothing the
    updater writes lands outside the sandbox."""

    def __init__(self, work: Path):
        self.work = work
        self.path = Path(wine_host("--prefix", str(work / "prefix")))
        self.drive_d = work / "drive_d"
        # A small drive E: of its own, where a scenario asks for one (a tmpfs of limited size).
        self.drive_e = work / "drive_e"
        # Wine finds \\server\share\x in dosdevices/unc/server/share/x.
        self.unc = self.path / "dosdevices" / "unc"

    @functools.cached_property
    def wine(self) -> str:
        return wine_programs()[0]

    @functools.cached_property
    def server(self) -> str:
        return wine_programs()[1]

    def env(self, display: Optional[str] = None) -> dict:
        env = dict(os.environ)
        env.update(WINE_ENV)
        env["WINEPREFIX"] = str(self.path)
        if host_kind() == "win64":
            env["WINELOADER"] = self.wine  # the 64-bit loader started directly
        if display:
            env["DISPLAY"] = display
        return env

    def _has_wow64(self) -> bool:
        return (self.path / "drive_c" / "windows" / "syswow64").is_dir()

    def _usable(self) -> bool:
        """Made by this harness, and where 32-bit programs run, after wine32 was there: a
        prefix without syswow64 makes every 32-bit program fail ("could not load
        kernel32.dll")."""
        ready = self.path / ".orv-ready"
        return (ready.is_file() and ready.read_text().strip() == PREFIX_GENERATION
                and (host_kind() == "win64" or self._has_wow64()))

    def ensure(self) -> None:
        if not self._usable():
            shutil.rmtree(self.path, ignore_errors=True)
            self.work.mkdir(parents=True, exist_ok=True)
            self._wine("wineboot", "-i")
            # Without a window manager, a managed window's unmapping waits two seconds for an
            # answer that never comes; Wine then draws the frames itself.
            self.set_value("HKCU\\Software\\Wine\\X11 Driver", "Managed", "N")
            self.set_value("HKCU\\Software\\Wine\\WineDbg", "ShowCrashDialog", "0", "REG_DWORD")
            self.wait_for_server()
            if host_kind() == "wow64" and not self._has_wow64():
                raise RuntimeError("the Wine prefix has no syswow64: is wine32:i386 installed? "
                                   "(scripts/setup-windows)")
            self._install_fonts()
            (self.path / ".orv-ready").write_text(PREFIX_GENERATION + "\n")
        self.drive_d.mkdir(parents=True, exist_ok=True)
        self.drive_e.mkdir(parents=True, exist_ok=True)
        self.unc.mkdir(exist_ok=True)
        for letter, drive in (("d:", self.drive_d), ("e:", self.drive_e)):
            link = self.path / "dosdevices" / letter
            if not link.is_symlink() or Path(os.readlink(link)) != drive:
                if link.is_symlink() or link.exists():
                    link.unlink()
                link.symlink_to(drive)

    def _install_fonts(self) -> None:
        fonts = self.path / "drive_c" / "windows" / "Fonts"
        fonts.mkdir(parents=True, exist_ok=True)
        found = sorted(f for f in WINE_FONTS.glob("*") if f.suffix in (".ttf", ".fon"))
        if not any(f.name == "ms_sans_serif.ttf" for f in found):
            raise RuntimeError(f"MS Sans Serif is missing in {WINE_FONTS} (fonts-wine)")
        for font in found:
            shutil.copyfile(font, fonts / font.name)

    def set_value(self, key: str, name: str, data: str, kind: str = "REG_SZ") -> None:
        self._wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f")

    def dpi(self) -> int:
        marker = self.path / ".orv-dpi"
        return int(marker.read_text()) if marker.is_file() else DEFAULT_DPI

    def set_dpi(self, dpi: int) -> None:
        """The screen resolution programs of the prefix see from their next start on."""
        if dpi == self.dpi():
            return
        self.set_value("HKCU\\Control Panel\\Desktop", "LogPixels", str(dpi), "REG_DWORD")
        self.set_value("HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software"
                       "\\Fonts", "LogPixels", str(dpi), "REG_DWORD")
        self.wait_for_server()
        (self.path / ".orv-dpi").write_text(str(dpi))

    def _wine(self, *args: str) -> None:
        subprocess.run([self.wine, *args], env=self.env(), check=True, timeout=600,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def wait_for_server(self, seconds: int = 60) -> None:
        """Waits until every program of the prefix has ended; ends them after the time."""
        try:
            subprocess.run([self.server, "-w"], env=self.env(), timeout=seconds, check=False)
        except subprocess.TimeoutExpired:
            subprocess.run([self.server, "-k"], env=self.env(), timeout=60, check=False)

    def unix(self, windows_path: str) -> Path:
        """The file behind a Windows path of the prefix, found without regard to case as Wine
        finds it; components that do not exist keep their spelling."""
        if windows_path.startswith("\\\\"):
            server, share, rest = (windows_path[2:].split("\\", 2) + ["", ""])[:3]
            path = self.unc / server.lower() / share.lower()
        else:
            drive = windows_path[0].lower()
            roots = {"c": self.path / "drive_c", "d": self.drive_d, "e": self.drive_e,
                     "z": Path("/")}
            path = roots[drive]
            rest = windows_path[3:]
        for part in rest.split("\\"):
            if not part:
                continue
            candidate = path / part
            if not candidate.exists() and path.is_dir():
                for child in path.iterdir():
                    if child.name.lower() == part.lower():
                        candidate = child
                        break
            path = candidate
        return path

    @staticmethod
    def windows(unix_path: Path) -> str:
        return "Z:" + str(unix_path.resolve()).replace("/", "\\")

    def windows_ini(self) -> Path:
        return self.path / "drive_c" / "windows" / "orven32.ini"

    def clear_drive(self) -> None:
        for drive in (self.drive_d, self.drive_e, self.unc):
            for child in drive.iterdir():
                remove(child)
        for ini in (self.path / "drive_c" / "windows").iterdir():
            if ini.name.lower() == "orven32.ini":
                remove(ini)


class MountRefused(Exception):
    """The machine does not let the tests mount file systems (no root, a container without the
    right): the scenario that needs one cannot run here."""


def _mount(*args: str) -> None:
    result = subprocess.run(["mount", *args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            check=False)
    if result.returncode != 0:
        raise MountRefused("mount " + " ".join(args) + ": "
                           + result.stdout.decode("utf-8", "replace").strip())


def _unmount(path: Path) -> None:
    subprocess.run(["umount", str(path)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=False)


@contextlib.contextmanager
def small_drive(path: Path, megabytes: int) -> Iterator[None]:
    """A tmpfs of this size on the folder, for as long as the block runs."""
    _mount("-t", "tmpfs", "-o", f"size={megabytes}m", "tmpfs", str(path))
    try:
        yield
    finally:
        _unmount(path)


@contextlib.contextmanager
def read_only(paths: list) -> Iterator[None]:
    """Each folder mounted over itself read-only (root included, nobody may write there), for
    as long as the block runs."""
    done = []
    try:
        for path in paths:
            _mount("--bind", str(path), str(path))
            done.append(path)
            _mount("-o", "remount,bind,ro", str(path))
        yield
    finally:
        for path in reversed(done):
            _unmount(path)


def remove(path: Path) -> None:
    """Removes a file or folder, read-only ones too."""
    if path.is_dir() and not path.is_symlink():
        for child in path.iterdir():
            remove(child)
        path.chmod(stat.S_IRWXU)
        path.rmdir()
    else:
        if not path.is_symlink():
            path.chmod(stat.S_IRUSR | stat.S_IWUSR)
        path.unlink()


@contextlib.contextmanager
def virtual_display(use_existing: bool = True) -> Iterator[str]:
    """The DISPLAY to use: the caller's, or an Xvfb of our own on a free display number."""
    if use_existing and os.environ.get("DISPLAY"):
        yield os.environ["DISPLAY"]
        return
    number = next(n for n in range(90, 400)
                  if not Path(f"/tmp/.X{n}-lock").exists()
                  and not Path(f"/tmp/.X11-unix/X{n}").exists())
    xvfb = subprocess.Popen(["Xvfb", f":{number}", "-screen", "0", "1024x768x24", "-nolisten",
                             "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        socket = Path(f"/tmp/.X11-unix/X{number}")
        deadline = time.monotonic() + 15
        while not socket.exists():
            if xvfb.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError(f"Xvfb did not start on :{number}")
            time.sleep(0.05)
        yield f":{number}"
    finally:
        xvfb.terminate()
        try:
            xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            xvfb.kill()
            xvfb.wait()


def to_png(bmp: Path, png: Path, scale: Optional[str] = None) -> bool:
    """Converts a screenshot; scale (as "50%") makes it smaller."""
    convert = first_program("/usr/bin/convert", "convert")
    if not convert:
        return False
    png.parent.mkdir(parents=True, exist_ok=True)
    resize = ["-resize", scale] if scale else []
    return subprocess.run([convert, str(bmp), *resize, "-strip", str(png)], check=False,
                          timeout=60, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0
