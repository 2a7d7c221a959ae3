#!/usr/bin/env python3
"""Runs end-to-end scenarios of orvupd.exe under Wine and compares what happens with the
scenario table (scenarios.py).

    run_scenario.py --list
    run_scenario.py --orvupd EXE --driver EXE --standin EXE --work DIR --shots DIR NAME...|--all
"""

import argparse
import sys
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))

import installation  # noqa: E402
import runner  # noqa: E402
import scenarios  # noqa: E402
from transcript import parse_transcript  # noqa: E402


# The exit status of a run whose scenarios could not run here (CTest's SKIP_RETURN_CODE).
SKIPPED = 77


def _summary(outcome: runner.Outcome) -> str:
    lines = []
    for r in parse_transcript(outcome.transcript):
        if r.kind == "box":
            lines.append(f"    box {r['n']}: [{r['title']}] style {r['style']}: "
                         + r["text"].replace("\r\n", " | "))
        elif r.kind in ("answer", "hold", "timeout", "end", "window", "unresponsive"):
            lines.append(f"    {r.kind}: " + " ".join(f"{k}={v}" for k, v in r.fields.items()))
    return "\n".join(lines)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--list", action="store_true", help="print the scenario names")
    parser.add_argument("--all", action="store_true", help="run every scenario")
    parser.add_argument("--orvupd", type=Path, help="orvupd.exe (the shipped 32-bit build, or the 64-bit one)")
    parser.add_argument("--driver", type=Path, help="orvdriver.exe")
    parser.add_argument("--standin", type=Path, help="the stand-in orven32.exe")
    parser.add_argument("--scanner", type=Path, help="orvscan.exe, the stand-in virus scanner")
    parser.add_argument("--work", type=Path, help="folder for the prefix, drive D: and runs")
    parser.add_argument("--shots", type=Path, help="folder for the PNG screenshots")
    parser.add_argument("--own-display", action="store_true",
                        help="start Xvfb even when DISPLAY is set")
    parser.add_argument("names", nargs="*")
    args = parser.parse_args()

    if args.list:
        print("\n".join(s.name for s in scenarios.SCENARIOS))
        return 0
    chosen = scenarios.SCENARIOS if args.all else []
    for name in args.names:
        if name not in scenarios.BY_NAME:
            parser.error(f"unknown scenario {name}")
        chosen.append(scenarios.BY_NAME[name])
    missing = [o for o in ("orvupd", "driver", "standin", "work", "shots")
               if getattr(args, o) is None]
    if not chosen or missing:
        parser.error("name the scenarios and give " + ", ".join("--" + m for m in missing))
    programs = installation.Programs(args.orvupd.resolve(), args.driver.resolve(),
                                     args.standin.resolve(),
                                     args.scanner.resolve() if args.scanner else None)
    for program in (programs.orvupd, programs.driver, programs.standin):
        if not program.is_file():
            print(f"missing program {program}", file=sys.stderr)
            return 2

    passed = failed = skipped = 0
    for scenario in chosen:
        try:
            outcome = runner.run(scenario, programs, args.work.resolve(), args.shots.resolve(),
                                  use_display=not args.own_display)
        except runner.Skipped as reason:
            print(f"SKIP {scenario.name}: {scenario.about}\n  - cannot run here: {reason}")
            skipped += 1
            continue
        verdict = "PASS" if not outcome.failures else "FAIL"
        print(f"{verdict} {scenario.name} ({outcome.seconds:.1f} s): {scenario.about}")
        print(_summary(outcome))
        for failure in outcome.failures:
            print("  - " + failure)
        sys.stdout.flush()
        passed += not outcome.failures
        failed += bool(outcome.failures)
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    if failed:
        return 1
    return SKIPPED if skipped and not passed else 0


if __name__ == "__main__":
    sys.exit(main())
