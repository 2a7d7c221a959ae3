"""An ORVEN installation laid out for a run of the updater: its folders, the updater in its
UPDATE folder, the application (the stand-in orven32.exe), the INI file, files already there,
and the update archive. The end-to-end scenarios, the Windows demo and the benchmark all lay
out their installations with lay_out()."""

from __future__ import annotations

import dataclasses
import shutil
import stat
from pathlib import Path
from typing import Optional, Protocol

import archives

CRLF = "\r\n"
WINDOWS_DIR = "C:\\windows"


@dataclasses.dataclass(frozen=True)
class Installation:
    install_dir: str = "D:\\ORVEN32"
    updater_dir_name: str = "UPDATE"
    with_app: bool = True
    ini_at: str = "app"  # app, windows, none
    ini: tuple = (("Pfad1", "D:\\ORVDATA\\Daten"), ("Pfad2", "D:\\ORVDATA\\Verwaltung"),
                  ("Pfad3", "D:\\ORVDATA\\Keytabs"))
    # Folders that exist besides the application's and those the INI names.
    more_folders: tuple = ()
    # Folders the INI names that are not made (a file may stand in their way).
    unmade_folders: tuple = ()
    existing: tuple = ()  # (path, bytes) present before the run
    # The key pair whose public key the installation trusts (UPDATE\orvupd.pub); None: none.
    key: Optional[str] = None
    read_only: tuple = ()  # paths of existing files marked read-only
    # Folders that no one may write during the run (mounted read-only once laid out).
    write_protected: tuple = ()

    @property
    def updater_dir(self) -> str:
        return self.install_dir + "\\" + self.updater_dir_name

    @property
    def app_dir(self) -> str:
        return self.install_dir + "\\orv"

    @property
    def archive_path(self) -> str:
        return self.install_dir + "\\update\\orvupd.zip"

    @property
    def backup_path(self) -> str:
        return self.archive_path + "$$$"

    @property
    def ini_path(self) -> str:
        return (WINDOWS_DIR if self.ini_at == "windows" else self.app_dir) + "\\orven32.ini"

    def folders(self) -> list[str]:
        named = [value for _, value in self.ini if value and value not in self.unmade_folders]
        return [self.app_dir] + named + list(self.more_folders)


@dataclasses.dataclass
class Programs:
    orvupd: Path   # installed under its own name in the updater's folder
    driver: Optional[Path]
    standin: Path  # installed as orven32.exe in the application's folder
    scanner: Optional[Path] = None  # the stand-in virus scanner, run beside the updater


class Drive(Protocol):
    """Where a path as the updater writes it lies on this machine."""

    def unix(self, path: str) -> Path: ...


def _find(folder: Path, name: str) -> Path:
    """The child of the folder with that name regardless of case, or the name as it is."""
    candidate = folder / name
    if not candidate.exists() and folder.is_dir():
        for child in folder.iterdir():
            if child.name.lower() == name.lower():
                return child
    return candidate


class NativeDrive:
    """Paths of the Linux updater: absolute POSIX paths, and rooted paths (beginning with a
    backslash) below the drive root ORVUPD_DRIVE_ROOT; components found regardless of case."""

    def __init__(self, root: Path):
        self.root = root

    def unix(self, path: str) -> Path:
        parts = path.replace("\\", "/")
        here = Path("/") if not path.startswith("\\") else self.root
        for part in parts.split("/"):
            if part:
                here = _find(here, part)
        return here


def ini_text(inst: Installation) -> bytes:
    lines = ["[ORVEN]"] + [f"{key}={value}" for key, value in inst.ini]
    return (CRLF.join(lines) + CRLF).encode("cp1252")


def lay_out(drive: Drive, inst: Installation, archive: Optional[archives.Archive],
            programs: Programs, cache: Path) -> bytes:
    """Lays out the installation (on an empty drive); returns the delivered archive's bytes
    (empty when there is none)."""

    def put(path: str, data: bytes) -> Path:
        target = drive.unix(path)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        return target

    updater = drive.unix(inst.updater_dir)
    updater.mkdir(parents=True)
    shutil.copy(programs.orvupd, updater / programs.orvupd.name)
    for folder in inst.folders():
        drive.unix(folder).mkdir(parents=True, exist_ok=True)
    if inst.with_app:
        shutil.copy(programs.standin, drive.unix(inst.app_dir) / "orven32.exe")
    if inst.ini_at != "none":
        put(inst.ini_path, ini_text(inst))
    for path, data in inst.existing:
        put(path, data)
    if inst.key is not None:
        put(inst.updater_dir + "\\orvupd.pub", archives.public_key(cache, inst.key))
    for path in inst.read_only:
        drive.unix(path).chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    return deliver(drive, inst, archive, cache)


def deliver(drive: Drive, inst: Installation, archive: Optional[archives.Archive],
            cache: Path) -> bytes:
    """Puts the update archive into the installation; returns the delivered bytes (empty when
    there is none)."""
    if archive is None:
        return b""
    target = drive.unix(inst.archive_path)
    target.parent.mkdir(parents=True, exist_ok=True)
    if archive.copy_of is not None:
        shutil.copyfile(archive.copy_of, target)
    else:
        archives.write_archive(target, archive.entries, cache)
    if archive.signed_by is not None:
        archives.sign(cache, archive.signed_by, target, archive.after_signing)
    delivered = target.read_bytes()
    if archive.reduced_to is not None:
        target.rename(drive.unix(inst.backup_path))
        archives.write_archive(target, archive.reduced_to, cache)
    if archive.read_only:
        target.chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    if archive.stale_backup is not None:
        drive.unix(inst.backup_path).write_bytes(archive.stale_backup)
    return delivered
