#!/usr/bin/env python3
"""Writes the archives that the zip component's tests read, into the folder given as argument.

Archives from independent writers (Python's zipfile, Info-ZIP's zip when installed) come with
the tree they were made from, in "<archive>.files/", to compare an extraction against.
Hostile archives carry one harmless entry "good.txt" before the entry that must be refused.
"""

import os
import shutil
import struct
import subprocess
import sys
import warnings
import zipfile

OUT = sys.argv[1]
STAMP = (2020, 5, 17, 12, 34, 56)


def path(name):
    return os.path.join(OUT, name)


def blob(size, seed):
    """Bytes that deflate only a little, the same for the same seed."""
    state = seed
    data = bytearray()
    while len(data) < size:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        data.append((state >> 16) & 0xFF)
    return bytes(data)


def write_tree(archive, files):
    """The tree an archive was made from: {stored path: bytes}; folders end in '/'."""
    root = path(archive + ".files")
    shutil.rmtree(root, ignore_errors=True)
    os.makedirs(root)
    for name, data in files.items():
        target = os.path.join(root, *name.rstrip("/").split("/"))
        if name.endswith("/"):
            os.makedirs(target, exist_ok=True)
            continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)
    return root


def entry(name, compression=zipfile.ZIP_DEFLATED, system=0, attributes=0):
    info = zipfile.ZipInfo(name, STAMP)
    info.compress_type = compression
    info.create_system = system
    info.external_attr = attributes
    return info


def write_zip(archive, entries, compression=zipfile.ZIP_DEFLATED):
    """entries: list of (name or ZipInfo, bytes)."""
    with zipfile.ZipFile(path(archive), "w", compression) as z:
        for name, data in entries:
            info = name if isinstance(name, zipfile.ZipInfo) else entry(name, compression)
            if info.filename.endswith("/"):
                info.external_attr = 0o40755 << 16 | 0x10
            z.writestr(info, data)


def patch(archive, old, new, count=None):
    with open(path(archive), "rb") as f:
        data = f.read()
    found = data.count(old)
    assert found and (count is None or found == count), (archive, old, found)
    with open(path(archive), "wb") as f:
        f.write(data.replace(old, new))


def headers(data, signature):
    at = data.find(signature)
    while at >= 0:
        yield at
        at = data.find(signature, at + 1)


def patch_headers(archive, name, local, central):
    """Applies local(data, offset) and central(data, offset) to the headers of one entry."""
    with open(path(archive), "rb") as f:
        data = bytearray(f.read())
    encoded = name.encode()
    for at in headers(bytes(data), b"PK\x03\x04"):
        length = struct.unpack_from("<H", data, at + 26)[0]
        if data[at + 30:at + 30 + length] == encoded:
            local(data, at)
    for at in headers(bytes(data), b"PK\x01\x02"):
        length = struct.unpack_from("<H", data, at + 28)[0]
        if data[at + 46:at + 46 + length] == encoded:
            central(data, at)
    with open(path(archive), "wb") as f:
        f.write(data)


def independent_writers():
    stored = {
        "readme.txt": b"ORVEN update\r\n",
        "empty.txt": b"",
        "dir/sub/data.bin": blob(70000, 1),
        "folder only/": b"",
    }
    write_zip("py_stored.zip", list(stored.items()), zipfile.ZIP_STORED)
    write_tree("py_stored.zip", stored)

    deflated = {
        "orvupd.txt": b"15.03.2019 3.1\r\n",
        "ORV/ORVEN.MDB": b"database " * 40000,
        "ORV/system/x.ocx": blob(200000, 2),
        "ORV/system/": b"",
    }
    write_zip("py_deflated.zip", list(deflated.items()))
    write_tree("py_deflated.zip", deflated)

    utf8 = {"Größe/Übersicht.txt": "Maße und Gewichte\n".encode()}
    write_zip("py_utf8.zip", list(utf8.items()))
    write_tree("py_utf8.zip", utf8)

    # zipfile writes names that are not ASCII as UTF-8; an old DOS writer stored CP437 bytes
    # without the UTF-8 flag. Same length, patched in both headers.
    write_zip("py_cp437.zip", [("M_ller/K_se.txt", b"Emmentaler\n")])
    patch("py_cp437.zip", b"M_ller/K_se.txt", "Müller/Käse.txt".encode("cp437"), count=2)
    write_tree("py_cp437.zip", {"Müller/Käse.txt": b"Emmentaler\n"})

    zip64 = {"big/one.bin": blob(5000, 3), "two.txt": b"zwei\n"}
    with zipfile.ZipFile(path("py_zip64.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in zip64.items():
            with z.open(entry(name), "w", force_zip64=True) as f:
                f.write(data)
    write_tree("py_zip64.zip", zip64)

    if shutil.which("zip"):
        infozip = {
            "Liesmich.txt": b"Bitte lesen.\r\n",
            "lib/a.dll": blob(40000, 4),
            "lib/deep/b.dll": b"B" * 100000,
            "leer/": b"",
        }
        root = write_tree("infozip.zip", infozip)
        for folder, _, names in os.walk(root):
            for name in names + [folder]:
                full = os.path.join(folder, name)
                os.utime(full, (1589718896, 1589718896))
        target = os.path.abspath(path("infozip.zip"))
        if os.path.exists(target):
            os.remove(target)
        subprocess.run(["zip", "-q", "-r", "-X", target, "."], cwd=root, check=True)


def hostile():
    good = ("good.txt", b"harmless\n")
    names = {
        "parent.zip": "../x",
        "parent_backslash.zip": "..\\x",
        "parent_inside.zip": "dir/../../x",
        "drive.zip": "C:\\x",
        "drive_relative.zip": "C:x",
        "unc.zip": "\\\\server\\share\\x",
        "absolute.zip": "/x",
        "rooted.zip": "\\x",
        "device.zip": "CON",
        "device_extension.zip": "sub/con.txt",
        "stream.zip": "a.txt:s",
        "trailing_dot.zip": "x.",
        "trailing_blank.zip": "x ",
        "empty_component.zip": "a//b",
        "control.zip": "a\x01b",
        "parent_folder.zip": "../d/",
    }
    for archive, name in names.items():
        write_zip(archive, [good, (name, b"evil\n")])

    write_zip("symlink.zip", [good, (entry("link", zipfile.ZIP_STORED, 3, 0o120777 << 16),
                                    b"/etc/passwd")])
    write_zip("duplicate.zip", [good, ("a.txt", b"one\n"), ("a.txt", b"two\n")])
    write_zip("case_duplicate.zip", [good, ("Readme.txt", b"one\n"), ("README.TXT", b"two\n")])
    write_zip("umlaut_case_duplicate.zip", [good, ("Grüße.txt", b"1\n"), ("GRÜSSE.txt", b"2\n"),
                                            ("grÜße.TXT", b"3\n")])
    write_zip("file_and_folder.zip", [good, ("a", b"file\n"), ("a/b.txt", b"below\n")])
    write_zip("unsupported.zip", [good, (entry("packed.bin", zipfile.ZIP_BZIP2), b"b" * 1000)])

    # Marked as encrypted in both headers (general purpose flag, bit 0).
    write_zip("encrypted.zip", [good, ("secret.txt", b"geheim\n")], zipfile.ZIP_STORED)
    patch_headers("encrypted.zip", "secret.txt",
                  lambda d, at: struct.pack_into("<H", d, at + 6, 1),
                  lambda d, at: struct.pack_into("<H", d, at + 8, 1))

    # One byte of stored data changed: the checksum no longer fits.
    write_zip("bad_crc.zip", [good, ("data.txt", b"checksum protects this\n")],
              zipfile.ZIP_STORED)
    patch("bad_crc.zip", b"checksum protects this", b"checksum protects THIS", count=1)

    # A megabyte of zeros that claims to unpack to a thousand bytes.
    write_zip("bomb.zip", [good, ("bomb.bin", b"\0" * 1000000)])
    patch_headers("bomb.zip", "bomb.bin",
                  lambda d, at: struct.pack_into("<I", d, at + 22, 1000),
                  lambda d, at: struct.pack_into("<I", d, at + 24, 1000))

    # Declares more than it holds.
    write_zip("short.zip", [good, ("short.bin", b"s" * 1000)])
    patch_headers("short.zip", "short.bin",
                  lambda d, at: struct.pack_into("<I", d, at + 22, 5000),
                  lambda d, at: struct.pack_into("<I", d, at + 24, 5000))

    write_zip("whole.zip", [good, ("z.bin", blob(4000, 5))])
    with open(path("whole.zip"), "rb") as f:
        data = f.read()
    with open(path("truncated.zip"), "wb") as f:
        f.write(data[: len(data) // 2])
    with open(path("truncated_tail.zip"), "wb") as f:
        f.write(data[:-10])
    with open(path("zero_length.zip"), "wb"):
        pass
    with open(path("text.zip"), "wb") as f:
        f.write(b"Dies ist kein Archiv.\r\n" * 20)
    os.makedirs(path("folder.zip"), exist_ok=True)


def for_removal():
    write_zip("remove.zip", [
        ("orvupd.txt", b"15.03.2019 3.1\r\n"),
        ("ORVEN.MDB", b"m" * 300000),
        ("system/", b""),
        ("system/a.ocx", blob(300000, 6)),
        ("system/B.OCX", blob(200000, 7)),
        ("lib/c.dll", blob(100000, 8)),
    ])
    write_zip("single.zip", [("only.txt", b"eins\n")])
    with open(path("empty.zip"), "wb") as f:
        f.write(b"PK\x05\x06" + b"\0" * 18)


def main():
    warnings.simplefilter("ignore")  # duplicate names are written on purpose
    os.makedirs(OUT, exist_ok=True)
    independent_writers()
    hostile()
    for_removal()


main()
