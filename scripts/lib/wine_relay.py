"""Reading a log of Wine's channels pid, relay and loaddll: the Win32 calls one program made
from its own code (or its C runtime), and whether it flushed each file before naming it."""

from __future__ import annotations

import bisect
import collections
import dataclasses
import re
from typing import Iterable, Optional

# What the relay channel traces: every call into these libraries.
RELAY_INCLUDE = "KERNEL32.*;KERNELBASE.*;ntdll.*"
DEBUG = "-all,+pid,+relay,+loaddll"

_LOADED = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:loaddll:\w+ Loaded L"(.*)" at ([0-9A-Fa-f]+):')
_CALL = re.compile(r"^([0-9a-f]+):([0-9a-f]+):(Call|Ret) +(\w+)\.(\w+)\((.*)\).* ret=([0-9a-f]+)$")
_RETVAL = re.compile(r"retval=([0-9a-f]+)")
_STRING = re.compile(r'L"((?:[^"\\]|\\.)*)"')
# The new files of a call, and the part file of a copy, before they take their names.
_STAGED = re.compile(r"(\.orvupd-\d+\.tmp|\.orvtmp-copy)$")
_GENERIC_WRITE = 0x40000000
_DELAY_UNTIL_REBOOT = 0x4


@dataclasses.dataclass
class Durability:
    staged_moved: int = 0  # new files moved to their names
    flushed_before_move: int = 0  # of them, flushed after their last write and before the move
    # Whether the backup was flushed before the archive was first opened for writing, moved
    # over or removed; None: the archive was never changed.
    backup_before_change: Optional[bool] = None


@dataclasses.dataclass
class Relayed:
    calls: collections.Counter = dataclasses.field(default_factory=collections.Counter)
    durability: Durability = dataclasses.field(default_factory=Durability)


def _path(escaped: str) -> str:
    path = escaped.replace("\\\\", "\\").lower()
    return path[4:] if path.startswith("\\\\?\\") else path


class _Files:
    """What the program did with its files, call by call."""

    def __init__(self, archive: str):
        self.archive = archive.lower()
        self.handles: dict[int, str] = {}
        self.flushed: set[str] = set()  # files whose data was flushed after their last write
        self.result = Durability()

    def change_archive(self) -> None:
        if self.result.backup_before_change is None:
            self.result.backup_before_change = self.archive + "$$$" in self.flushed

    def opened(self, path: str, access: int, handle: int) -> None:
        self.handles[handle] = path
        if access & _GENERIC_WRITE:
            self.flushed.discard(path)
            if path == self.archive:
                self.change_archive()

    def moved(self, source: str, target: str) -> None:
        if _STAGED.search(source):
            self.result.staged_moved += 1
            self.result.flushed_before_move += source in self.flushed
        if target == self.archive:
            self.change_archive()
        if source in self.flushed:
            self.flushed.add(target)
        else:
            self.flushed.discard(target)
        self.flushed.discard(source)

    def calling(self, name: str, args: str) -> None:
        """What a call means as it starts: a handle being closed may be handed out again to
        another thread before this thread's return is logged."""
        if name == "CloseHandle":
            self.handles.pop(int(args.split(",")[0], 16), None)

    def call(self, name: str, args: str, retval: int) -> None:
        strings = [_path(s) for s in _STRING.findall(args)]
        words = _STRING.sub("", args).split(",")
        if name == "CreateFileW" and strings and retval not in (0, 0xFFFFFFFF, 0xFFFFFFFFFFFFFFFF):
            self.opened(strings[0], int(words[1], 16), retval)
        elif name == "FlushFileBuffers" and retval != 0:
            path = self.handles.get(int(words[0], 16))
            if path:
                self.flushed.add(path)
        elif name in ("MoveFileExW", "MoveFileW") and len(strings) == 2 and retval != 0:
            if name == "MoveFileW" or not int(words[-1], 16) & _DELAY_UNTIL_REBOOT:
                self.moved(strings[0], strings[1])
        elif name in ("CopyFileW", "CopyFileExW") and len(strings) == 2 and retval != 0:
            self.flushed.discard(strings[1])
        elif name == "DeleteFileW" and strings == [self.archive] and retval != 0:
            self.change_archive()


def read(lines: Iterable[str], program: str, archive: str) -> Relayed:
    """The calls into the traced libraries that the process of the program (a file name such
    as orvupd.exe) made from its own code or its C runtime (msvcrt.dll), not those the system
    libraries make among themselves; and what they did for durability with the archive at
    this Windows path."""
    modules: dict[str, list] = {}  # process -> sorted [(base, file name)]
    target = None
    pending: dict[tuple, str] = {}  # (thread, call, return address) -> its arguments
    found = Relayed()
    files = _Files(archive)

    def own(process: str, address: str) -> bool:
        loaded = modules.get(process, [])
        at = bisect.bisect_right(loaded, (int(address, 16), "\uffff")) - 1
        return at >= 0 and loaded[at][1] in (program, "msvcrt.dll")

    for line in lines:
        if ":Call " in line or ":Ret " in line:
            call = _CALL.match(line.rstrip("\n"))
            if call is None or call.group(1) != target or not own(target, call.group(7)):
                continue
            thread, kind, library, name, args, back = call.group(2, 3, 4, 5, 6, 7)
            if kind == "Call":
                # The C runtime's helpers in ntdll (memcpy, strlen) are no system calls.
                if library != "ntdll" or name[0].isupper():
                    found.calls[name] += 1
                pending[(thread, name, back)] = args
                files.calling(name, args)
            elif (thread, name, back) in pending:
                retval = _RETVAL.search(line)
                files.call(name, pending.pop((thread, name, back)), int(retval.group(1), 16) if retval else 0)
        elif ":loaddll:" in line:
            loaded = _LOADED.match(line)
            if loaded is None:
                continue
            name = loaded.group(2).replace("\\\\", "\\").rsplit("\\", 1)[-1].lower()
            bisect.insort(modules.setdefault(loaded.group(1), []), (int(loaded.group(3), 16), name))
            if name == program and target is None:
                target = loaded.group(1)
    found.durability = files.result
    return found
