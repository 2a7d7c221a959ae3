"""Machinery of the end-to-end scenarios: the Wine prefix and its drive D:, the virtual display,
installations laid out on that drive, update archives, the run of the driver, its transcript,
and the checks of a scenario's outcome."""

from __future__ import annotations

import contextlib
import dataclasses
import functools
import hashlib
import os
import random
import re
import shutil
import stat
import subprocess
import time
import zipfile
from pathlib import Path
from typing import Iterator, Optional

import scenarios as sc

WINE_ENV = {
    "WINEDEBUG": "-all",
    "WINEDLLOVERRIDES": "mscoree,mshtml=",
    "WINEARCH": "win64",
    "LANG": "C.UTF-8",
}
ARCHIVE_TIME = (2024, 3, 15, 10, 0, 0)


def _first_program(*candidates: str) -> Optional[str]:
    for c in candidates:
        found = shutil.which(c) if "/" not in c else (c if os.access(c, os.X_OK) else None)
        if found:
            return found
    return None


def wine_programs() -> tuple[str, str]:
    """The 64-bit Wine loader and its server."""
    wine = _first_program("wine64", "/usr/lib/wine/wine64", "wine")
    server = _first_program("wineserver", "/usr/lib/wine/wineserver", "wineserver64")
    if not wine or not server:
        raise RuntimeError("Wine is not installed (apt-get install wine wine64)")
    return wine, server


# --- The prefix and its drives -------------------------------------------------------------


class Prefix:
    """A Wine prefix under the build tree with a drive D: of its own, so that nothing the
    updater writes lands outside the sandbox."""

    def __init__(self, work: Path):
        self.work = work
        self.path = work / "prefix"
        self.drive_d = work / "drive_d"

    @functools.cached_property
    def wine(self) -> str:
        return wine_programs()[0]

    @functools.cached_property
    def server(self) -> str:
        return wine_programs()[1]

    def env(self, display: Optional[str] = None) -> dict:
        env = dict(os.environ)
        env.pop("LC_ALL", None)
        env.update(WINE_ENV)
        env["WINEPREFIX"] = str(self.path)
        if display:
            env["DISPLAY"] = display
        return env

    def ensure(self) -> None:
        ready = self.path / ".orv-ready"
        if not ready.exists():
            shutil.rmtree(self.path, ignore_errors=True)
            self.work.mkdir(parents=True, exist_ok=True)
            self._wine("wineboot", "-i")
            # Without a window manager, a managed window's unmapping waits two seconds for an
            # answer that never comes; Wine then draws the frames itself.
            self._wine("reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d",
                       "N", "/f")
            self._wine("reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog",
                       "/t", "REG_DWORD", "/d", "0", "/f")
            self.wait_for_server()
            ready.touch()
        self.drive_d.mkdir(parents=True, exist_ok=True)
        link = self.path / "dosdevices" / "d:"
        if not link.is_symlink() or Path(os.readlink(link)) != self.drive_d:
            if link.is_symlink() or link.exists():
                link.unlink()
            link.symlink_to(self.drive_d)

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
        drive = windows_path[0].lower()
        roots = {"c": self.path / "drive_c", "d": self.drive_d, "z": Path("/")}
        path = roots[drive]
        for part in windows_path[3:].split("\\"):
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
        for child in self.drive_d.iterdir():
            _remove(child)
        for ini in (self.path / "drive_c" / "windows").iterdir():
            if ini.name.lower() == "orven32.ini":
                _remove(ini)


def _remove(path: Path) -> None:
    """Removes a file or folder, read-only ones too."""
    if path.is_dir() and not path.is_symlink():
        for child in path.iterdir():
            _remove(child)
        path.chmod(stat.S_IRWXU)
        path.rmdir()
    else:
        if not path.is_symlink():
            path.chmod(stat.S_IRUSR | stat.S_IWUSR)
        path.unlink()


# --- The display ---------------------------------------------------------------------------


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


# --- Archives ------------------------------------------------------------------------------


def large_data(entry: sc.LargeEntry) -> Iterator[bytes]:
    """Pseudo-random and compressible data in 1 MiB pieces, the same for the same seed."""
    rng = random.Random(entry.seed)
    text = b"ORVEN Buchungsdaten 2024; Konto 4711; Betrag 123,45 EUR\r\n" * 9400
    for _ in range(entry.megabytes):
        yield rng.randbytes(512 * 1024) + text[:512 * 1024]


def large_digest(entry: sc.LargeEntry) -> str:
    digest = hashlib.sha256()
    for piece in large_data(entry):
        digest.update(piece)
    return digest.hexdigest()


def write_archive(path: Path, entries: tuple, cache: Path) -> None:
    """Writes the update archive; archives with large entries are made once and kept in the
    cache folder."""
    if any(isinstance(e, sc.LargeEntry) for e in entries):
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
            if isinstance(e, sc.LargeEntry):
                with archive.open(info, "w", force_zip64=True) as out:
                    for piece in large_data(e):
                        out.write(piece)
            else:
                archive.writestr(info, e.data, compresslevel=6)


# --- Laying out an installation ------------------------------------------------------------


@dataclasses.dataclass
class Programs:
    orvupd: Path
    driver: Path
    standin: Path


def ini_text(inst: sc.Installation) -> bytes:
    lines = ["[ORVEN]"] + [f"{key}={value}" for key, value in inst.ini]
    return (sc.CRLF.join(lines) + sc.CRLF).encode("cp1252")


def lay_out(prefix: Prefix, inst: sc.Installation, programs: Programs, cache: Path) -> bytes:
    """Lays out the installation on a cleared drive D:; returns the delivered archive's bytes
    (empty when there is none)."""
    prefix.clear_drive()

    def put(windows_path: str, data: bytes) -> Path:
        target = prefix.unix(windows_path)
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
        return target

    updater = prefix.unix(inst.updater_dir)
    updater.mkdir(parents=True)
    shutil.copyfile(programs.orvupd, updater / "orvupd.exe")
    for folder in inst.folders():
        prefix.unix(folder).mkdir(parents=True, exist_ok=True)
    if inst.with_app:
        shutil.copyfile(programs.standin, prefix.unix(inst.app_dir) / "orven32.exe")
    if inst.ini_at == "app":
        put(inst.app_dir + "\\orven32.ini", ini_text(inst))
    elif inst.ini_at == "windows":
        prefix.windows_ini().write_bytes(ini_text(inst))
    for path, data in inst.existing:
        put(path, data)
    delivered = b""
    if inst.archive is not None:
        archive = prefix.unix(inst.archive_path)
        archive.parent.mkdir(parents=True, exist_ok=True)
        write_archive(archive, inst.archive, cache)
        delivered = archive.read_bytes()
        if inst.interrupted:
            archive.rename(prefix.unix(inst.backup_path))
            write_archive(archive, tuple(e for e in inst.archive if e not in sc.DATABASES
                                         and e is not sc.VERSION_FILE), cache)
        if inst.read_only_archive:
            archive.chmod(stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
    if inst.stale_backup is not None:
        put(inst.backup_path, inst.stale_backup)
    return delivered


# --- The transcript ------------------------------------------------------------------------

_RECORD = re.compile(r"t=(\d+) (\S+)(.*)$")
_FIELD = re.compile(r'(\S+?)=("(?:[^"\\]|\\.)*"|\S*)')
_ESCAPE = re.compile(r"\\(x[0-9A-Fa-f]{2}|.)")
_ESCAPES = {"\\": "\\", '"': '"', "r": "\r", "n": "\n", "t": "\t"}


def unquote(value: str) -> str:
    if not value.startswith('"'):
        return value
    return _ESCAPE.sub(lambda m: (chr(int(m.group(1)[1:], 16)) if m.group(1)[0] == "x"
                                  else _ESCAPES.get(m.group(1), m.group(1))), value[1:-1])


@dataclasses.dataclass
class Record:
    t: int
    kind: str
    fields: dict

    def __getitem__(self, key: str) -> str:
        return self.fields[key]

    def get(self, key: str, default: str = "") -> str:
        return self.fields.get(key, default)


def parse_transcript(text: str) -> list[Record]:
    records = []
    for line in text.splitlines():
        m = _RECORD.match(line)
        if not m:
            continue
        fields = {k: unquote(v) for k, v in _FIELD.findall(m.group(3))}
        records.append(Record(int(m.group(1)), m.group(2), fields))
    return records


# --- Screenshots ---------------------------------------------------------------------------

BAR_COLOUR = (0, 0, 192)  # red, green, blue of the progress bar


def bar_columns(bmp: bytes, colour: tuple = BAR_COLOUR) -> int:
    """How many pixel columns of a 24-bit BMP show the colour somewhere."""
    if bmp[:2] != b"BM":
        raise ValueError("not a BMP file")
    offset = int.from_bytes(bmp[10:14], "little")
    width = int.from_bytes(bmp[18:22], "little", signed=True)
    height = abs(int.from_bytes(bmp[22:26], "little", signed=True))
    if int.from_bytes(bmp[28:30], "little") != 24:
        raise ValueError("not a 24-bit BMP file")
    stride = (width * 3 + 3) & ~3
    wanted = bytes((colour[2], colour[1], colour[0]))
    columns = set()
    for y in range(height):
        row = bmp[offset + y * stride: offset + y * stride + width * 3]
        for x in range(width):
            if row[3 * x: 3 * x + 3] == wanted:
                columns.add(x)
    return len(columns)


def to_png(bmp: Path, png: Path) -> bool:
    convert = _first_program("/usr/bin/convert", "convert")
    if not convert:
        return False
    png.parent.mkdir(parents=True, exist_ok=True)
    return subprocess.run([convert, str(bmp), str(png)], check=False, timeout=60,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0


# --- Checks --------------------------------------------------------------------------------


class Findings:
    def __init__(self) -> None:
        self.failures: list[str] = []

    def expect(self, condition: bool, message: str) -> bool:
        if not condition:
            self.failures.append(message)
        return condition


def _shown(text: str) -> str:
    return text.replace("\r", "\\r").replace("\n", "\\n")


def text_matches(expected, actual: str) -> bool:
    if isinstance(expected, sc.Prefix):
        return actual.startswith(expected.start) and len(actual) > len(expected.start)
    return actual == expected


def status_state(box: Record) -> str:
    """The status window as a box record saw it: none, starting, working or other."""
    if box.get("status") != "1":
        return "none"
    if (box.get("s.frame") == "0" and box.get("s.label") == "1"
            and box.get("s.labelCaption") == sc.STARTING):
        return "starting"
    if (box.get("s.frame") == "1" and box.get("s.label") == "0"
            and box.get("s.frameCaption") == sc.WORKING):
        return "working"
    return "other"


def check_boxes(records: list[Record], scenario: sc.Scenario, f: Findings) -> None:
    boxes = [r for r in records if r.kind == "box"]
    limit = scenario.max_boxes if scenario.max_boxes is not None else len(scenario.boxes)
    f.expect(len(boxes) >= len(scenario.boxes) and len(boxes) <= limit,
             f"{len(boxes)} message boxes, expected "
             + (f"{len(scenario.boxes)}" if scenario.max_boxes is None
                else f"{len(scenario.boxes)} to {scenario.max_boxes}"))
    for n, (want, got) in enumerate(zip(scenario.boxes, boxes), start=1):
        f.expect(got["title"] == want.title,
                 f"box {n}: title {got['title']!r}, expected {want.title!r}")
        f.expect(got["style"] == str(want.style),
                 f"box {n}: style {got['style']} (icon {got['icon']}), expected {want.style}")
        shown = want.text.start + "..." if isinstance(want.text, sc.Prefix) else want.text
        f.expect(text_matches(want.text, got["text"]),
                 f"box {n}: text\n      {_shown(got['text'])}\n    expected\n      "
                 f"{_shown(shown)}")
        if want.status is not None:
            f.expect(status_state(got) == want.status,
                     f"box {n}: status window {status_state(got)}, expected {want.status}")
    for r in records:
        if r.kind == "answer":
            f.expect(r["closed"] == "1", f"box {r['n']} did not close on {r['button']}")
            f.expect(r["available"] == "1", f"box {r['n']} has no button {r['button']}")


def check_status_window(records: list[Record], scenario: sc.Scenario, f: Findings) -> None:
    start = next((r for r in records if r.kind == "start"), None)
    shown = [r for r in records if r.kind == "status" and r["visible"] == "1"]
    for r in shown:
        if not f.expect(r["title"] == sc.VERSION_TITLE,
                        f"status window title {r['title']!r}, expected {sc.VERSION_TITLE!r}"):
            break
    if start is not None and start["dpi"] == "96":
        sizes = {r["client"] for r in shown}
        f.expect(sizes <= {"305x81"}, f"status window client area {sorted(sizes)}, "
                                      "expected 305x81 at 96 DPI")
    if scenario.working_seen:
        f.expect(any(r["frame"] == "1" and r["frameCaption"] == sc.WORKING and r["label"] == "0"
                     for r in shown),
                 "the progress frame with " + repr(sc.WORKING) + " was never seen")
    boxes = [r for r in records if r.kind == "box"]
    if scenario.after_report and boxes:
        report = boxes[len(scenario.boxes) - 1] if len(boxes) >= len(scenario.boxes) else None
        later = [r for r in records if r.kind == "status" and report and r.t > report.t]
        if scenario.after_report == "restart":
            f.expect(any(r["visible"] == "1" and r["label"] == "1" and r["frame"] == "0"
                         and r["labelCaption"] == sc.RESTARTING for r in later),
                     "after the report the status window never showed " + repr(sc.RESTARTING))
        else:
            f.expect(not later, "a status window appeared after the report")
    end = next((r for r in records if r.kind == "end"), None)
    if f.expect(end is not None, "the transcript has no end record"):
        f.expect(end["killed"] == "0", "the updater did not end by itself (killed after "
                                       f"{scenario.timeout} s)")
        code = int(end["exit"]) if end.get("exit", "").isdigit() else 0
        f.expect(code < 0xC0000000, f"the updater crashed (exit code {code:#x})")
        f.expect(end["unresponsive"] == "0",
                 f"the status window did not answer {end['unresponsive']} times")
    for r in records:
        if r.kind == "window":
            f.expect(not r["title"].startswith("ORVEN-Update"),
                     f"a second status window: {r['title']!r} ({r['class']})")
        if r.kind == "hold":
            f.expect(r["ok"] == "1", f"the stand-in could not hold {r['path']}")
    if scenario.min_progress_changes:
        values = [r["txt"] for r in shown if r["frame"] == "1" and r["txt"].strip().isdigit()]
        changes = sum(1 for a, b in zip(values, values[1:]) if a != b)
        f.expect(changes >= scenario.min_progress_changes,
                 f"the progress text changed {changes} times during the extraction "
                 f"({values[:12]}...), expected at least {scenario.min_progress_changes}")
        f.expect(end is not None and int(end["responded"]) >= 3,
                 "the status window was asked too rarely whether it responds")


def check_bar_shots(records: list[Record], prefix: Prefix, f: Findings) -> None:
    widths = {}
    for r in records:
        if r.kind == "shot" and r["of"] == "bar" and r["ok"] == "1":
            widths[int(r["percent"])] = bar_columns(prefix.unix(r["file"]).read_bytes())
    if not f.expect(set(widths) == {0, 1, 50, 100}, f"bar screenshots for {sorted(widths)}"):
        return
    full = widths[100]
    f.expect(full > 200, f"the full bar is {full} px wide")
    f.expect(widths[0] == 0, f"at 0 % the bar is {widths[0]} px wide, expected none")
    f.expect(1 <= widths[1] <= max(3, full // 50), f"at 1 % the bar is {widths[1]} px wide")
    f.expect(abs(widths[50] - full / 2) <= 2, f"at 50 % the bar is {widths[50]} px wide "
                                              f"(full: {full})")


def check_files(prefix: Prefix, scenario: sc.Scenario, delivered: bytes, f: Findings) -> None:
    inst = scenario.install
    for path, data in scenario.placed:
        target = prefix.unix(path)
        if f.expect(target.is_file(), f"missing: {path}"):
            f.expect(target.read_bytes() == data, f"wrong contents: {path}")
    for entry in inst.archive or ():
        if isinstance(entry, sc.LargeEntry) and scenario.placed:
            target = prefix.unix(inst.install_dir + "\\" + entry.name.replace("/", "\\"))
            if f.expect(target.is_file(), f"missing: {target}"):
                digest = hashlib.sha256()
                with target.open("rb") as data:
                    for piece in iter(lambda: data.read(1 << 20), b""):
                        digest.update(piece)
                f.expect(digest.hexdigest() == large_digest(entry),
                         f"wrong contents: {entry.name}")
    for path in scenario.absent:
        f.expect(not prefix.unix(path).exists(), f"should not exist: {path}")

    archive = prefix.unix(inst.archive_path)
    backup = prefix.unix(inst.backup_path)
    same = archive.is_file() and archive.read_bytes() == delivered
    if scenario.archive in ("restored", "untouched"):
        f.expect(same, "the archive is not byte-identical to the delivered one")
        f.expect(not backup.exists(), "the backup is still there")
    elif scenario.archive == "absent":
        f.expect(not archive.exists() and not backup.exists(), "an archive appeared")
    elif scenario.archive == "kept":
        kept = same or (backup.is_file() and backup.read_bytes() == delivered)
        f.expect(kept, "neither the archive nor its backup holds the delivered archive")


def restarts(prefix: Prefix, inst: sc.Installation) -> list[str]:
    log = prefix.unix(inst.app_dir + "\\started.log")
    if not log.is_file():
        return []
    return [line for line in log.read_text("utf-8", "replace").splitlines()
            if line.startswith("started argc=0 ")]


# --- One scenario --------------------------------------------------------------------------


@dataclasses.dataclass
class Outcome:
    scenario: sc.Scenario
    failures: list
    transcript: str
    seconds: float


def driver_args(prefix: Prefix, scenario: sc.Scenario, programs: Programs, run_dir: Path,
                shots: Path) -> list[str]:
    inst = scenario.install
    args = [prefix.wine, str(programs.driver), "--exe", inst.updater_dir + "\\orvupd.exe",
            "--transcript", prefix.windows(run_dir / "transcript.txt"),
            "--shots", prefix.windows(shots), "--timeout", str(scenario.timeout),
            "--standin", inst.app_dir + "\\orven32.exe", "--default-answer", "OK"]
    if scenario.args is not None:
        args += ["--args", scenario.args]
    if scenario.answers:
        args += ["--answers", ",".join(scenario.answers)]
    if scenario.progress_shots:
        args += ["--shot-at-progress", ",".join(str(p) for p in scenario.progress_shots)]
    if scenario.bar_shots_at_box:
        args += ["--bar-shots-at-box", str(scenario.bar_shots_at_box)]
    for hold in scenario.holds:
        if hold.at_box:
            args += ["--hold-at-box", str(hold.at_box), str(hold.seconds), hold.path]
        else:
            args += ["--hold", str(hold.seconds), hold.path]
    return args


def run(scenario: sc.Scenario, programs: Programs, work: Path, shots_root: Path,
        use_display: bool = True) -> Outcome:
    began = time.monotonic()
    prefix = Prefix(work)
    prefix.ensure()
    run_dir = work / "runs" / scenario.name
    shutil.rmtree(run_dir, ignore_errors=True)
    shots = run_dir / "shots"
    shots.mkdir(parents=True)
    f = Findings()
    delivered = lay_out(prefix, scenario.install, programs, work / "cache")
    try:
        with virtual_display(use_display) as display:
            result = subprocess.run(driver_args(prefix, scenario, programs, run_dir, shots),
                                    env=prefix.env(display), timeout=scenario.timeout + 120,
                                    stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                    check=False)
            (run_dir / "driver.log").write_bytes(result.stdout)
            f.expect(result.returncode == 0, f"the driver ended with {result.returncode}: "
                     + result.stdout.decode("utf-8", "replace")[-500:])
            prefix.wait_for_server()
        transcript_file = run_dir / "transcript.txt"
        transcript = transcript_file.read_text("utf-8") if transcript_file.exists() else ""
        records = parse_transcript(transcript)
        check_boxes(records, scenario, f)
        check_status_window(records, scenario, f)
        if scenario.bar_shots_at_box:
            check_bar_shots(records, prefix, f)
        check_files(prefix, scenario, delivered, f)
        started = restarts(prefix, scenario.install)
        f.expect(scenario.restarts is None or len(started) == scenario.restarts,
                 f"the application was started {len(started)} times with no arguments, "
                 f"expected {scenario.restarts}")
        for bmp in sorted(shots.glob("*.bmp")):
            to_png(bmp, shots_root / scenario.name / (bmp.stem + ".png"))
    finally:
        if prefix.windows_ini().exists():
            prefix.windows_ini().unlink()
    return Outcome(scenario, f.failures, transcript, time.monotonic() - began)
