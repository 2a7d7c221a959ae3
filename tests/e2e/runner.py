"""Turns a scenario record into a run of the updater under Wine and checks its outcome."""

from __future__ import annotations

import contextlib
import dataclasses
import shutil
import subprocess
import time
from pathlib import Path

import archives
import checks
import installation
import wine
from transcript import parse_transcript


class Skipped(Exception):
    """The scenario cannot run on this machine; the text says why."""


@dataclasses.dataclass
class Outcome:
    scenario: object
    failures: list
    transcript: str
    seconds: float


def driver_args(prefix: wine.Prefix, scenario, programs: installation.Programs, run_dir: Path,
                shots: Path) -> list[str]:
    inst = scenario.installation
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
        if hold.as_library:
            args += ["--load", str(hold.seconds), hold.path]
        elif hold.at_box:
            args += ["--hold-at-box", str(hold.at_box), str(hold.seconds), hold.path]
        else:
            args += ["--hold", str(hold.seconds), hold.path]
    return args


def with_programs(scenario, programs: installation.Programs):
    """The record with every Program in place of bytes turned into that program's bytes."""
    def data(value):
        if isinstance(value, archives.Program):
            return getattr(programs, value.name).read_bytes() + value.tail
        return value

    def entry(value):
        if isinstance(value, archives.Entry):
            return dataclasses.replace(value, data=data(value.data))
        return data(value)

    inst = dataclasses.replace(scenario.installation,
                               existing=tuple((p, data(d)) for p, d in scenario.installation.existing))
    archive = scenario.archive
    if archive is not None:
        archive = dataclasses.replace(archive, entries=tuple(entry(e) for e in archive.entries))
    then = scenario.then and with_programs(scenario.then, programs)
    return dataclasses.replace(scenario, installation=inst, archive=archive,
                               placed=tuple((p, entry(e)) for p, e in scenario.placed), then=then)


def run(scenario, programs: installation.Programs, work: Path, shots_root: Path,
        use_display: bool = True) -> Outcome:
    began = time.monotonic()
    prefix = wine.Prefix(work)
    prefix.ensure()
    f = checks.Findings()
    prefix.clear_drive()
    scenario = with_programs(scenario, programs)
    try:
        with contextlib.ExitStack() as mounts:
            try:
                if scenario.small_drive_mb:
                    mounts.enter_context(wine.small_drive(prefix.drive_e, scenario.small_drive_mb))
                delivered = installation.lay_out(prefix, scenario.installation, scenario.archive,
                                                 programs, work / "cache")
                protected = [prefix.unix(p) for p in scenario.installation.write_protected]
                mounts.enter_context(wine.read_only(protected))
            except wine.MountRefused as refused:
                raise Skipped(str(refused)) from refused
            transcript = run_and_check(scenario, scenario.name, delivered, prefix, programs,
                                       work, shots_root, use_display, f)
        if scenario.then is not None:
            later = scenario.then
            # The later run's archive is delivered anew, and its restarts are counted afresh.
            delivered = installation.deliver(prefix, later.installation, later.archive,
                                             work / "cache")
            started = prefix.unix(later.installation.app_dir + "\\started.log")
            if started.exists():
                started.unlink()
            transcript += run_and_check(later, scenario.name + "-then", delivered, prefix,
                                        programs, work, shots_root, use_display, f)
    finally:
        if prefix.windows_ini().exists():
            prefix.windows_ini().unlink()
    return Outcome(scenario, f.failures, transcript, time.monotonic() - began)


@contextlib.contextmanager
def scanning(prefix: wine.Prefix, scenario, programs: installation.Programs, run_dir: Path,
             display: str, f: checks.Findings):
    """The stand-in virus scanner on drive D: while the block runs, where the record asks for
    one; afterwards, that it has opened what the updater wrote."""
    if not scenario.scanner_ms:
        yield
        return
    if programs.scanner is None:
        raise Skipped("no stand-in virus scanner given (--scanner)")
    stop = run_dir / "scanner.stop"
    log = run_dir / "scanner.log"
    scanner = subprocess.Popen([prefix.wine, str(programs.scanner), "D:\\",
                                str(scenario.scanner_ms), prefix.windows(stop),
                                prefix.windows(log)], env=prefix.env(display),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while not (log.exists() and "watching" in log.read_text("utf-8", "replace")):
            if time.monotonic() > deadline:
                break
            time.sleep(0.05)
        yield
    finally:
        stop.touch()
        try:
            scanner.wait(timeout=60)
        except subprocess.TimeoutExpired:
            scanner.kill()
    opened = log.read_text("utf-8", "replace").count("opened ") if log.exists() else 0
    f.expect(opened >= 10, f"the scanner opened {opened} files, expected at least 10")


def run_and_check(scenario, name: str, delivered: bytes, prefix: wine.Prefix,
                  programs: installation.Programs, work: Path, shots_root: Path,
                  use_display: bool, f: checks.Findings) -> str:
    """One run of the driver on the drive as it is, and the record's checks."""
    prefix.set_dpi(scenario.dpi)
    run_dir = work / "runs" / name
    shutil.rmtree(run_dir, ignore_errors=True)
    shots = run_dir / "shots"
    shots.mkdir(parents=True)
    with wine.virtual_display(use_display) as display:
        with scanning(prefix, scenario, programs, run_dir, display, f):
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
    checks.check_boxes(records, scenario, f)
    checks.check_status_window(records, scenario, f)
    if scenario.bar_shots_at_box:
        checks.check_bar_shots(records, prefix, scenario.dpi, f)
    checks.check_files(prefix, scenario, delivered, f)
    checks.check_log(prefix, scenario, f)
    started = checks.restarts(prefix, scenario)
    f.expect(scenario.restarts is None or len(started) == scenario.restarts,
             f"the application was started {len(started)} times with no arguments, "
             f"expected {scenario.restarts}")
    for bmp in sorted(shots.glob("*.bmp")):
        wine.to_png(bmp, shots_root / name / (bmp.stem + ".png"))
    return transcript
