"""Update archives as the scenarios deliver them, written with Python's zipfile."""

from __future__ import annotations

import dataclasses
import functools
import hashlib
import random
import shutil
import subprocess
import zipfile
from pathlib import Path
from typing import Iterator, Optional

ARCHIVE_TIME = (2024, 3, 15, 10, 0, 0)


@dataclasses.dataclass(frozen=True)
class Entry:
    name: str  # stored path, "/" as separator
    data: bytes


@dataclasses.dataclass(frozen=True)
class Program:
    """In place of an entry's or a file's bytes: those of one of the test's own programs,
    "orvupd" (the updater under test) or "standin" (the stand-in application), plus a tail."""

    name: str
    tail: bytes = b""


@dataclasses.dataclass(frozen=True)
class PublicKey:
    """In place of an entry's or a file's bytes: the public key file of the tests' key pair of
    this name (made with minisign, see public_key())."""

    name: str


@dataclasses.dataclass(frozen=True)
class LargeEntry:
    """An entry of pseudo-random and compressible data, made when the archive is written."""

    name: str
    megabytes: int
    seed: int = 1


@dataclasses.dataclass(frozen=True)
class SeededEntry:
    """An entry of this many bytes, made when the archive is written and the same for the same
    seed: text of a small vocabulary (about 4:1 under deflate), or for a program pieces of text
    and of random bytes (about 1.5:1)."""

    name: str
    size: int
    seed: int
    program: bool = False


@dataclasses.dataclass(frozen=True)
class UpdateShape:
    """A delivered update as an author makes one: the version file, one database for each row
    of the plan that names one (megabytes each, in the rows' order), programs for each row of
    a kind ("*.DLL") in SYSTEM and some in orv, and many small files in folders below orv."""

    database_megabytes: tuple
    programs: int
    small_files: int
    seed: int


@dataclasses.dataclass(frozen=True)
class Archive:
    """The update archive orvupd.zip as it lies in the installation before the run."""

    entries: tuple = ()
    # An archive made elsewhere (by Info-ZIP for the benchmark), copied as it is.
    copy_of: Optional[Path] = None
    read_only: bool = False
    # An earlier run stopped before its exit: the delivered archive lies there as the backup,
    # and the archive itself holds only these entries.
    reduced_to: Optional[tuple] = None
    # A backup left from some other run, with these bytes.
    stale_backup: Optional[bytes] = None
    # Signed by minisign with the key pair of this name: orvupd.zip.minisig beside it.
    signed_by: Optional[str] = None
    # What became of it after signing: "one_byte" (one byte of the archive changed), "empty"
    # (the signature file emptied), "cut" (the signature file cut short).
    after_signing: Optional[str] = None


def _key_files(cache: Path, name: str) -> tuple[Path, Path]:
    """The key pair of this name, made with minisign (without a password) when first asked for;
    its public and its secret key file."""
    folder = cache / "keys"
    public, secret = folder / (name + ".pub"), folder / (name + ".key")
    if not public.exists():
        folder.mkdir(parents=True, exist_ok=True)
        subprocess.run(["minisign", "-G", "-f", "-W", "-p", str(public), "-s", str(secret)],
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
    return public, secret


def public_key(cache: Path, name: str) -> bytes:
    return _key_files(cache, name)[0].read_bytes()


def sign(cache: Path, name: str, path: Path, after: Optional[str]) -> None:
    """Signs the file as an update author does (`minisign -Sm`), then changes what `after`
    says."""
    subprocess.run(["minisign", "-S", "-s", str(_key_files(cache, name)[1]), "-m", str(path)],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
    signature = path.with_name(path.name + ".minisig")
    if after == "one_byte":
        data = bytearray(path.read_bytes())
        data[len(data) // 2] ^= 0x01
        path.write_bytes(bytes(data))
    elif after == "empty":
        signature.write_bytes(b"")
    elif after == "cut":
        signature.write_bytes(signature.read_bytes()[:-30])
    elif after is not None:
        raise ValueError("unknown change after signing: " + after)


def large_data(entry: LargeEntry) -> Iterator[bytes]:
    """Pseudo-random and compressible data in 1 MiB pieces, the same for the same seed."""
    rng = random.Random(entry.seed)
    text = b"ORVEN Buchungsdaten 2024; Konto 4711; Betrag 123,45 EUR\r\n" * 9400
    for _ in range(entry.megabytes):
        yield rng.randbytes(512 * 1024) + text[:512 * 1024]


def large_digest(entry: LargeEntry) -> str:
    digest = hashlib.sha256()
    for piece in large_data(entry):
        digest.update(piece)
    return digest.hexdigest()


@functools.lru_cache(maxsize=1)
def _vocabulary() -> tuple:
    rng = random.Random(4711)
    return tuple("".join(rng.choice("abcdefghijklmnopqrstuvwxyzäöü") for _ in range(rng.randint(2, 9)))
                 for _ in range(4000))


def seeded_data(entry: SeededEntry) -> bytes:
    rng = random.Random(entry.seed)

    def text(size: int) -> bytes:
        return " ".join(rng.choices(_vocabulary(), k=size // 5 + 1)).encode("utf-8")[:size]

    if not entry.program:
        return text(entry.size)
    pieces = [rng.randbytes(4096) if rng.random() < 0.5 else text(4096)
              for _ in range(entry.size // 4096 + 1)]
    return b"".join(pieces)[:entry.size]


def update_entries(shape: UpdateShape, masks: list) -> tuple:
    """The entries of an update of this shape for the plan's rows (their masks in order): a row
    without wildcards names a database, a row "*.<EXT>" other than "*.*" a kind of program."""
    rng = random.Random(shape.seed)
    databases = [m for m in masks if "*" not in m and "?" not in m]
    kinds = [m[1:] for m in masks if m.startswith("*.") and m != "*.*"]
    entries = [Entry("orvupd.txt", b"15.03.2025 3.1\r\n")]
    for n, (name, megabytes) in enumerate(zip(databases, shape.database_megabytes)):
        entries.append(LargeEntry(name, megabytes, seed=shape.seed + n))
    for n in range(shape.programs):
        kind = n % (len(kinds) + 1)
        name = f"orv/ORVWERK{n:02}.EXE" if kind == len(kinds) else f"SYSTEM/ORV{n:02}{kinds[kind]}"
        entries.append(SeededEntry(name, rng.randint(200 << 10, 2200 << 10), rng.getrandbits(32), True))
    folders = ["orv/hilfe", "orv/vorlagen", "orv/bilder", "orv/berichte", "orv/vorlagen/briefe"]
    for n in range(shape.small_files):
        entries.append(SeededEntry(f"{folders[n % len(folders)]}/datei{n:04}.txt",
                                   rng.randint(1 << 10, 50 << 10), rng.getrandbits(32)))
    return tuple(entries)


def file_digest(path: Path) -> str:
    digest = hashlib.sha256()
    with path.open("rb") as data:
        for piece in iter(lambda: data.read(1 << 20), b""):
            digest.update(piece)
    return digest.hexdigest()


def write_archive(path: Path, entries: tuple, cache: Path) -> None:
    """Writes an archive; archives with large or seeded entries are made once and kept in the
    cache."""
    entries = tuple(dataclasses.replace(e, data=public_key(cache, e.data.name))
                    if isinstance(e, Entry) and isinstance(e.data, PublicKey) else e
                    for e in entries)
    if any(isinstance(e, (LargeEntry, SeededEntry)) for e in entries):
        key = hashlib.sha256(repr(entries).encode()).hexdigest()[:16]
        cached = cache / f"archive-{key}.zip"
        if not cached.exists():
            cache.mkdir(parents=True, exist_ok=True)
            _write_zip(cached.with_suffix(".part"), entries)
            cached.with_suffix(".part").rename(cached)
        shutil.copyfile(cached, path)
    else:
        _write_zip(path, entries)


def _write_zip(path: Path, entries: tuple) -> None:
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, allowZip64=True) as archive:
        for e in entries:
            info = zipfile.ZipInfo(e.name, date_time=ARCHIVE_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            if isinstance(e, LargeEntry):
                with archive.open(info, "w", force_zip64=True) as out:
                    for piece in large_data(e):
                        out.write(piece)
            else:
                data = seeded_data(e) if isinstance(e, SeededEntry) else e.data
                archive.writestr(info, data, compresslevel=6)
