"""The bench's reading of Wine's relay log: short excerpts as Wine writes them (channels pid,
relay and loaddll), each with what it shows of the flushes before moves and of the backup."""

import sys
import unittest
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts" / "lib"))
import wine_relay  # noqa: E402

UPDATER = "0030"
OTHER = "0050"  # another process of the same prefix
OWN = "00401a2c"  # a return address inside orvupd.exe
SYSTEM = "7b012345"  # one inside kernel32.dll
ARCHIVE = "D:\\ORVEN32\\update\\orvupd.zip"
STAGED = "D:\\ORVEN32\\SYSTEM\\ORV01.DLL.orvupd-1.tmp"
TARGET = "D:\\ORVEN32\\SYSTEM\\ORV01.DLL"
STAGED2 = "D:\\ORVEN32\\SYSTEM\\ORV02.DLL.orvupd-1.tmp"
TARGET2 = "D:\\ORVEN32\\SYSTEM\\ORV02.DLL"
PART = "D:\\ORVEN32\\update\\.orvupd.zip$$$.orvtmp-copy"


def wide(path):
    return 'L"' + path.replace("\\", "\\\\") + '"'


def loaded(path, base, process=UPDATER):
    return [f"{process}:0034:trace:loaddll:build_module Loaded {wide(path)} at {base}: native"]


def call(name, args, retval, process=UPDATER, ret=OWN, thread="0034"):
    return [f"{process}:{thread}:Call KERNEL32.{name}({args}) ret={ret}",
            f"{process}:{thread}:Ret  KERNEL32.{name}() retval={retval:08x} ret={ret}"]


def open_file(path, handle, write=True, **where):
    access = "40000000" if write else "80000000"
    return call("CreateFileW", f"0012fd2c {wide(path)},{access},00000007,00000000,00000003,"
                               "00000080,00000000", handle, **where)


def write(handle, **where):
    return call("WriteFile", f"{handle:08x},0012e000,00001000,0012fd10,00000000", 1, **where)


def flush(handle, **where):
    return call("FlushFileBuffers", f"{handle:08x}", 1, **where)


def close(handle, **where):
    return call("CloseHandle", f"{handle:08x}", 1, **where)


def move(source, target, flags=0x9, **where):  # MOVEFILE_REPLACE_EXISTING | WRITE_THROUGH
    return call("MoveFileExW", f"0012fd00 {wide(source)},0012fe00 {wide(target)},{flags:08x}", 1,
                **where)


def copy(source, target):
    return call("CopyFileW", f"0012fd00 {wide(source)},0012fe00 {wide(target)},00000000", 1)


def delete(path):
    return call("DeleteFileW", f"0012fd00 {wide(path)}", 1)


def staged(*steps):
    return open_file(STAGED, 0x44) + write(0x44) + sum(steps, []) + close(0x44)


def backup(*steps):
    """The archive copied to the part file, then the steps, then the part file named."""
    return copy(ARCHIVE, PART) + sum(steps, []) + move(PART, ARCHIVE + "$$$")


START = (loaded("D:\\ORVEN32\\UPDATE\\orvupd.exe", "00400000")
         + loaded("C:\\windows\\system32\\kernel32.dll", "7b000000")
         + loaded("D:\\PEER\\bsdtar.exe", "00400000", process=OTHER))
SYNC_PART = open_file(PART, 0x48) + flush(0x48) + close(0x48)
CHANGE_ARCHIVE = open_file(ARCHIVE, 0x4c) + write(0x4c) + close(0x4c)
# Two files flushed on two threads: the first thread's handle is closed and handed to the
# second thread before the first thread's return from CloseHandle is logged.
A, B = {"thread": "0038"}, {"thread": "003c"}
HANDLE_REUSED = (staged() + open_file(STAGED2, 0x54) + write(0x54) + close(0x54)
                 + open_file(STAGED, 0x60, **A) + flush(0x60, **A) + close(0x60, **A)[:1]
                 + open_file(STAGED2, 0x60, **B) + close(0x60, **A)[1:] + flush(0x60, **B)
                 + close(0x60, **B) + move(STAGED, TARGET) + move(STAGED2, TARGET2))

# (what happens, log after START, staged files moved, of them flushed before, backup flushed
# before the archive's first change)
ROWS = [
    ("staged file flushed, then moved", staged(flush(0x44)) + move(STAGED, TARGET), 1, 1, None),
    ("staged file moved unflushed", staged() + move(STAGED, TARGET), 1, 0, None),
    ("written again after its flush", staged(flush(0x44), write(0x44))
     + open_file(STAGED, 0x50) + write(0x50) + close(0x50) + move(STAGED, TARGET), 1, 0, None),
    ("flush that failed", staged(call("FlushFileBuffers", "00000044", 0))
     + move(STAGED, TARGET), 1, 0, None),
    ("flushed by the system, not the program", staged(flush(0x44, ret=SYSTEM))
     + move(STAGED, TARGET), 1, 0, None),
    ("flushed in another process", staged() + open_file(STAGED, 0x44, process=OTHER)
     + flush(0x44, process=OTHER) + move(STAGED, TARGET), 1, 0, None),
    ("removal at restart is no move", staged(flush(0x44))
     + move(STAGED, TARGET, flags=0x4), 0, 0, None),
    ("backup flushed before the archive is written", backup(SYNC_PART) + CHANGE_ARCHIVE, 1, 1,
     True),
    ("backup not flushed before the archive is written", backup() + CHANGE_ARCHIVE, 1, 0, False),
    ("archive replaced before the backup's flush", backup() + staged(flush(0x44))
     + move(STAGED, ARCHIVE) + SYNC_PART, 2, 1, False),
    ("part file copied over after its flush", SYNC_PART + backup() + CHANGE_ARCHIVE, 1, 0,
     False),
    ("archive removed after the backup's flush", backup(SYNC_PART) + delete(ARCHIVE), 1, 1, True),
    ("handle closed on one thread, reused on another", HANDLE_REUSED, 2, 2, None),
    ("archive only read", backup(SYNC_PART) + open_file(ARCHIVE, 0x4c, write=False), 1, 1, None),
]


class RelayLogTest(unittest.TestCase):
    def test_durability(self):
        for what, log, moved, flushed, backup_flushed in ROWS:
            with self.subTest(what):
                found = wine_relay.read(START + log, "orvupd.exe", ARCHIVE).durability
                self.assertEqual((found.staged_moved, found.flushed_before_move,
                                  found.backup_before_change), (moved, flushed, backup_flushed))

    def test_counts_only_the_programs_own_calls(self):
        log = START + staged(flush(0x44, ret=SYSTEM)) + flush(0x44, process=OTHER)
        found = wine_relay.read(log, "orvupd.exe", ARCHIVE)
        self.assertEqual(found.calls, {"CreateFileW": 1, "WriteFile": 1, "CloseHandle": 1})


if __name__ == "__main__":
    unittest.main()
