"""The checks of a scenario's outcome: the message boxes, the status window as the user sees
it (texts, font, sizes at the screen's resolution), the progress bar in screenshots, the files,
the archive and the restarts."""

from __future__ import annotations

import math
import re
from pathlib import Path

import archives
import boxes as bx
from installation import Drive
from transcript import Record

FONT_FACE = "MS Sans Serif"
BAR_COLOUR = (0, 0, 192)  # red, green, blue of the progress bar
TWIPS_PER_INCH = 1440
# The status window's layout in twips: client area, and Frame1, Label1 in it, picProgress in
# Frame1 (left, top, width, height).
CLIENT = (4575, 1215)
FRAME1 = (108, 156, 4368, 888)
LABEL1 = (240, 336, 4248, 264)
PIC_PROGRESS = (84, 348, 4176, 225)
SUNKEN_BORDER = 2  # pixels on each side of picProgress


class Findings:
    def __init__(self) -> None:
        self.failures: list[str] = []

    def expect(self, condition: bool, message: str) -> bool:
        if not condition:
            self.failures.append(message)
        return condition


def _shown(text: str) -> str:
    return text.replace("\r", "\\r").replace("\n", "\\n")


def pixels(twips: float, dpi: int) -> int:
    return int(math.floor(twips * dpi / TWIPS_PER_INCH + 0.5))


def _size(field: str) -> tuple[int, int]:
    width, _, height = field.partition("x")
    return int(width), int(height)


def _place(field: str) -> tuple[int, ...]:
    return tuple(int(v) for v in field.split(",")) if field else ()


def text_matches(expected, actual: str) -> bool:
    if isinstance(expected, bx.Prefix):
        return actual.startswith(expected.start) and len(actual) > len(expected.start)
    return actual == expected


def status_state(box: Record) -> str:
    """The status window as a box record saw it: none, starting, working or other."""
    if box.get("status") != "1":
        return "none"
    if (box.get("s.frame") == "0" and box.get("s.label") == "1"
            and box.get("s.labelCaption") == bx.STARTING):
        return "starting"
    if (box.get("s.frame") == "1" and box.get("s.label") == "0"
            and box.get("s.frameCaption") == bx.WORKING):
        return "working"
    return "other"


def check_boxes(records: list[Record], scenario, f: Findings) -> None:
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
        buttons = got.get("buttons").replace("&", "")
        f.expect(buttons == bx.BUTTONS[want.style & 0xF],
                 f"box {n}: buttons {buttons!r}, expected {bx.BUTTONS[want.style & 0xF]!r}")
        shown = want.text.start + "..." if isinstance(want.text, bx.Prefix) else want.text
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


def check_layout(shown: list[Record], dpi: int, f: Findings) -> None:
    """The status window at the screen's resolution: its client area and controls where the
    twips of the layout put them, its captions in MS Sans Serif and each on one line."""
    client = f"{pixels(CLIENT[0], dpi)}x{pixels(CLIENT[1], dpi)}"
    sizes = {r["client"] for r in shown}
    f.expect(sizes <= {client}, f"status window client area {sorted(sizes)}, expected {client} "
                                f"at {dpi} DPI")
    frame = tuple(pixels(v, dpi) for v in FRAME1)
    label = tuple(pixels(v, dpi) for v in LABEL1)
    picture = (frame[0] + pixels(PIC_PROGRESS[0], dpi), frame[1] + pixels(PIC_PROGRESS[1], dpi),
               pixels(PIC_PROGRESS[2], dpi), pixels(PIC_PROGRESS[3], dpi))
    wanted = {"framePlace": frame, "labelPlace": label, "picturePlace": picture}
    seen = set()
    for r in shown:
        for field, place in wanted.items():
            got = _place(r.get(field))
            if got and got != place and field not in seen:
                seen.add(field)
                f.expect(False, f"{field} {got}, expected {place} at {dpi} DPI")
        if "face" not in seen and r.get("face") != FONT_FACE:
            seen.add("face")
            f.expect(False, f"the captions are drawn in {r.get('face')!r}, not {FONT_FACE!r}")
        for caption, text, box in (("labelCaption", "labelText", label),
                                   ("frameCaption", "frameText", frame)):
            visible = r[caption.replace("Caption", "")] == "1"
            if not visible or not r.get(text) or (caption, r[caption]) in seen:
                continue
            width, height = _size(r[text])
            if not (width <= box[2] and height <= box[3]):
                seen.add((caption, r[caption]))
                f.expect(False, f"{r[caption]!r} is {width}x{height} px in {r.get('face')}, "
                                f"more than one line of its {box[2]}x{box[3]} px")


def check_status_window(records: list[Record], scenario, f: Findings) -> None:
    start = next((r for r in records if r.kind == "start"), None)
    shown = [r for r in records if r.kind == "status" and r["visible"] == "1"]
    for r in shown:
        if not f.expect(r["title"] == bx.VERSION_TITLE,
                        f"status window title {r['title']!r}, expected {bx.VERSION_TITLE!r}"):
            break
    if start is not None:
        f.expect(start["dpi"] == str(scenario.dpi),
                 f"the screen has {start['dpi']} DPI, expected {scenario.dpi}")
        check_layout(shown, int(start["dpi"]), f)
    if scenario.working_seen:
        f.expect(any(r["frame"] == "1" and r["frameCaption"] == bx.WORKING and r["label"] == "0"
                     for r in shown),
                 "the progress frame with " + repr(bx.WORKING) + " was never seen")
    boxes = [r for r in records if r.kind == "box"]
    if scenario.after_report and boxes:
        report = boxes[len(scenario.boxes) - 1] if len(boxes) >= len(scenario.boxes) else None
        later = [r for r in records if r.kind == "status" and report and r.t > report.t]
        if scenario.after_report == "restart":
            f.expect(any(r["visible"] == "1" and r["label"] == "1" and r["frame"] == "0"
                         and r["labelCaption"] == bx.RESTARTING for r in later),
                     "after the report the status window never showed " + repr(bx.RESTARTING))
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


def check_bar_shots(records: list[Record], drive: Drive, dpi: int, f: Findings) -> None:
    widths = {}
    for r in records:
        if r.kind == "shot" and r["of"] == "bar" and r["ok"] == "1":
            widths[int(r["percent"])] = bar_columns(drive.unix(r["file"]).read_bytes())
    if not f.expect(set(widths) == {0, 1, 50, 100}, f"bar screenshots for {sorted(widths)}"):
        return
    full = widths[100]
    inside = pixels(PIC_PROGRESS[2], dpi) - 2 * SUNKEN_BORDER
    f.expect(full == inside, f"the full bar is {full} px wide, expected {inside} at {dpi} DPI")
    f.expect(widths[0] == 0, f"at 0 % the bar is {widths[0]} px wide, expected none")
    f.expect(1 <= widths[1] <= max(3, full // 50), f"at 1 % the bar is {widths[1]} px wide")
    f.expect(abs(widths[50] - full / 2) <= 2, f"at 50 % the bar is {widths[50]} px wide "
                                              f"(full: {full})")


def check_files(drive: Drive, scenario, delivered: bytes, f: Findings) -> None:
    inst = scenario.installation
    for path, entry in scenario.placed:
        target = drive.unix(path)
        if not f.expect(target.is_file(), f"missing: {path}"):
            continue
        if isinstance(entry, archives.LargeEntry):
            f.expect(archives.file_digest(target) == archives.large_digest(entry),
                     f"wrong contents: {path}")
        else:
            data = entry.data if isinstance(entry, archives.Entry) else entry
            f.expect(target.read_bytes() == data, f"wrong contents: {path}")
    for path in scenario.absent:
        f.expect(not drive.unix(path).exists(), f"should not exist: {path}")
    for folder, names in scenario.folder_holds:
        found = sorted(p.name.lower() for p in drive.unix(folder).iterdir() if p.is_file())
        f.expect(found == sorted(n.lower() for n in names),
                 f"{folder} holds {', '.join(found)}, expected {', '.join(names)}")

    archive = drive.unix(inst.archive_path)
    backup = drive.unix(inst.backup_path)
    same = archive.is_file() and archive.read_bytes() == delivered
    if scenario.archive_after in ("restored", "untouched"):
        f.expect(same, "the archive is not byte-identical to the delivered one")
        f.expect(not backup.exists(), "the backup is still there")
    elif scenario.archive_after == "absent":
        f.expect(not archive.exists() and not backup.exists(), "an archive appeared")
    elif scenario.archive_after == "kept":
        kept = same or (backup.is_file() and backup.read_bytes() == delivered)
        f.expect(kept, "neither the archive nor its backup holds the delivered archive")


def check_log(drive: Drive, scenario, f: Findings) -> None:
    """The run's log in the update folder: each line begins with the local time to the second,
    and the record's lines stand among the rest (without their times)."""
    if not scenario.log_lines:
        return
    log = drive.unix(scenario.installation.install_dir + "\\update\\orvupd.log")
    if not f.expect(log.is_file(), "no log in the update folder"):
        return
    lines = log.read_bytes().decode("utf-8").split("\r\n")
    f.expect(lines[-1] == "", "the log ends in the middle of a line")
    shown = []
    for line in lines[:-1]:
        f.expect(re.match(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ", line) is not None,
                 f"a log line without its time: {line}")
        shown.append(line[20:])
    for wanted in scenario.log_lines:
        f.expect(wanted in shown, f"not in the log: {wanted}")


def restarts(drive: Drive, scenario) -> list[str]:
    log = drive.unix(scenario.installation.app_dir + "\\started.log")
    if not log.is_file():
        return []
    return [line for line in log.read_text("utf-8", "replace").splitlines()
            if line.startswith("started argc=0 ")]
