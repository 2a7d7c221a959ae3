#!/usr/bin/env python3
"""Runs orvupd.exe under Wine on a sample installation, as the application would start it.

    demo_windows.py --build BUILD_DIR --work WORK_DIR [--driver]

The installation lies on drive D: of a Wine prefix of its own under WORK_DIR. With a DISPLAY
the user answers the message boxes; without one (or with --driver) an Xvfb is started and the
driver answers them (Yes, then OK), keeping screenshots. Afterwards the transcript (when the
driver ran) and every file on D: are printed.
"""

import argparse
import os
import shutil
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

import installation  # noqa: E402
import wine  # noqa: E402
from archives import Archive, Entry  # noqa: E402

INSTALLED = "01.02.2024 3.0"
SAMPLE = installation.Installation(ini=(("Pfad1", "D:\\DATEN"), ("Pfad2", "D:\\DATEN\\VW"),
                                        ("Pfad3", "")))
INSTALL_DIR = SAMPLE.install_dir


def sample_archive(standin: bytes) -> Archive:
    def text(name: str, line: str, times: int) -> Entry:
        return Entry(name, (line + "\r\n").encode("cp1252") * times)

    return Archive((
        Entry("orvupd.txt", b"15.03.2025 3.1\r\n"),
        text("ORVTABS.MDB", "Schlüsseltabellen", 2000),
        text("MUNDAREL.MDB", "Mundarten", 1000),
        text("ORVEN.MDB", "Stammdaten", 5000),
        text("ORVVW.MDB", "Verwaltung", 3000),
        text("SYSTEM/orvgrid.ocx", "Steuerelement", 500),
        text("SYSTEM/orvcalc.dll", "Bibliothek", 500),
        Entry("orv/orven32.exe", standin),
        text("orv/hilfe/orven.chm", "Hilfe", 800),
        text("orv/vorlagen/brief.dot", "Briefvorlage", 100),
        text("liesmich.txt", "Neu in ORVEN 3.1: alles.", 1),
    ))


def lay_out(prefix: wine.Prefix, programs: installation.Programs, cache: Path) -> None:
    prefix.clear_drive()
    installation.lay_out(prefix, SAMPLE, sample_archive(programs.standin.read_bytes()), programs,
                         cache)


def print_files(prefix: wine.Prefix) -> None:
    print("\nDateien auf D: (" + str(prefix.drive_d) + "):")
    for path in sorted(p for p in prefix.drive_d.rglob("*") if p.is_file()):
        windows = "D:\\" + str(path.relative_to(prefix.drive_d)).replace("/", "\\")
        print(f"{path.stat().st_size:10d}  {windows}")
    log = prefix.unix(INSTALL_DIR + "\\orv\\started.log")
    print("\nstarted.log:")
    print(log.read_text("utf-8", "replace") if log.exists() else "(ORVEN wurde nicht gestartet)")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", type=Path, required=True, help="the Windows build (the shipped one: preset windows)")
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--driver", action="store_true",
                        help="let the driver answer even when a DISPLAY is set")
    args = parser.parse_args()
    build = args.build.resolve()
    work = args.work.resolve()
    programs = installation.Programs(build / "src/win32/orvupd.exe",
                                build / "tests/e2e/orvdriver.exe",
                                build / "tests/e2e/orven32.exe")
    for program in (programs.orvupd, programs.driver, programs.standin):
        if not program.is_file():
            print(f"missing {program}: build the windows preset first", file=sys.stderr)
            return 2

    prefix = wine.Prefix(work)
    print("Wine-Umgebung in " + str(prefix.path))
    prefix.ensure()
    lay_out(prefix, programs, work / "cache")
    print(f"Beispielinstallation in {INSTALL_DIR} ({prefix.unix(INSTALL_DIR)})")
    exe = INSTALL_DIR + "\\UPDATE\\orvupd.exe"

    status = 0
    if os.environ.get("DISPLAY") and not args.driver:
        print(f"Starte {exe} {INSTALLED} auf {os.environ['DISPLAY']}: bitte die Fragen "
              "beantworten.")
        status = subprocess.run([prefix.wine, exe, *INSTALLED.split(" ")],
                                env=prefix.env(os.environ["DISPLAY"]), check=False).returncode
        prefix.wait_for_server()
    else:
        shots = work / "shots"
        shutil.rmtree(shots, ignore_errors=True)
        shots.mkdir(parents=True)
        transcript = work / "transcript.txt"
        with wine.virtual_display(use_existing=False) as display:
            print(f"Starte {exe} {INSTALLED} auf Xvfb {display}; der Treiber antwortet "
                  "Ja, dann OK.")
            status = subprocess.run(
                [prefix.wine, str(programs.driver), "--exe", exe, "--args", INSTALLED,
                 "--answers", "Yes,OK", "--default-answer", "OK", "--timeout", "120",
                 "--transcript", prefix.windows(transcript), "--shots", prefix.windows(shots),
                 "--shot-at-progress", "50"],
                env=prefix.env(display), check=False).returncode
            prefix.wait_for_server()
        print("\nProtokoll (" + str(transcript) + "):")
        print(transcript.read_text("utf-8") if transcript.exists() else "(keines)")
        for bmp in sorted(shots.glob("*.bmp")):
            png = bmp.with_suffix(".png")
            if wine.to_png(bmp, png):
                bmp.unlink()
        print("Bildschirmfotos: " + str(shots))
    print_files(prefix)
    return status


if __name__ == "__main__":
    sys.exit(main())
