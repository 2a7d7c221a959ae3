"""The setup's decisions, with stand-ins on PATH for apt-get and for the 32-bit loader: a
package index that fails to download one list, and a host that executes no 32-bit code."""

import os
import subprocess
import tempfile
import textwrap
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
FAILED_LIST = ("E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/"
               "main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). "
               "Mirror sync in progress? [IP: 203.0.113.80 80]")

# apt-get as a mirror mid-sync shows it: `update` fails on the security suite's i386 list for
# the first $FAILING_UPDATES calls; `install` of a multiarch set fails ("held broken packages")
# unless that suite is preferred less; a package named in $UNKNOWN never installs.
APT_GET = textwrap.dedent("""\
    #!/bin/sh
    echo "$*" >>"$CALLS"
    case "$1" in
    update)
        n=$(grep -c '^update' "$CALLS")
        if [ "$n" -le "$FAILING_UPDATES" ]; then
            echo "$FAILED_LIST" >&2
            echo "E: Some index files failed to download." >&2
            exit 100
        fi
        exit 0 ;;
    install)
        pinned=0
        for arg; do
            case "$arg" in
            Dir::Etc::PreferencesParts=*)
                grep -qs 'n=bookworm-security' "${arg#*=}"/*.pref &&
                    grep -qs 'Pin-Priority: 100' "${arg#*=}"/*.pref && pinned=1 ;;
            esac
        done
        for arg; do
            for unknown in $UNKNOWN; do
                [ "$arg" = "$unknown" ] && { echo "E: Unable to locate package $arg" >&2; exit 100; }
            done
        done
        case " $* " in
        *" -s "*) exit 0 ;;
        esac
        if [ "$pinned" = 0 ] && [ "$HALVES_DIFFER" = 1 ]; then
            echo "E: Unable to correct problems, you have held broken packages." >&2
            exit 100
        fi
        echo "$*" >>"$INSTALLED"
        exit 0 ;;
    esac
    exit 0
    """)


def write_program(folder: Path, name: str, text: str) -> None:
    path = folder / name
    path.write_text(text)
    path.chmod(0o755)


class SetupDecisionsTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = Path(self.tmp.name)
        self.bin = self.dir / "bin"
        self.bin.mkdir()
        write_program(self.bin, "apt-get", APT_GET)
        write_program(self.bin, "sudo", '#!/bin/sh\nexec "$@"\n')
        write_program(self.bin, "sleep", "#!/bin/sh\nexit 0\n")

    def tearDown(self):
        self.tmp.cleanup()

    def env(self, **extra: str) -> dict:
        env = dict(os.environ)
        env.update(PATH=f"{self.bin}:{os.environ['PATH']}", CALLS=str(self.dir / "calls"),
                   INSTALLED=str(self.dir / "installed"), FAILED_LIST=FAILED_LIST,
                   FAILING_UPDATES="0", UNKNOWN="", HALVES_DIFFER="0", ORV_APT_PAUSE="0")
        env.pop("ORV_WINE_HOST", None)
        env.update(extra)
        return env

    def setup_run(self, packages: str, **extra: str) -> subprocess.CompletedProcess:
        script = f". '{ROOT}/scripts/lib/apt.sh'\norv_apt_update\norv_apt_install {packages}\n"
        return subprocess.run(["sh", "-ec", script], env=self.env(**extra), capture_output=True,
                              text=True, timeout=60)

    def lines(self, name: str) -> list[str]:
        path = self.dir / name
        return path.read_text().splitlines() if path.exists() else []

    def test_package_index_cases(self):
        cases = [
            # (what the mirror does, packages, status, updates tried, said, installs)
            ("one list fails every time; the halves differ without it", dict(
                FAILING_UPDATES="9", HALVES_DIFFER="1"), "wine wine32:i386", 0, 3,
             ["did not download, going on without them: "
              "bookworm-security/main/binary-i386/Packages.xz",
              "installing again with the versions that every architecture offers"], 1),
            ("one list fails once, then downloads", dict(FAILING_UPDATES="1"),
             "wine wine32:i386", 0, 2, [], 1),
            ("a package that no list offers is named", dict(
                FAILING_UPDATES="9", UNKNOWN="wine33"), "wine wine33 xvfb", 1, 3,
             ["cannot install: wine33"], 0),
        ]
        for about, mirror, packages, status, updates, said, installs in cases:
            with self.subTest(about):
                for name in ("calls", "installed"):
                    (self.dir / name).unlink(missing_ok=True)
                run = self.setup_run(packages, **mirror)
                output = run.stdout + run.stderr
                self.assertEqual(run.returncode, status, output)
                calls = self.lines("calls")
                self.assertEqual(sum(c.startswith("update") for c in calls), updates, calls)
                for text in said:
                    self.assertIn(text, output)
                if status != 0:
                    self.assertNotIn("xvfb", output.split("cannot install")[-1])
                self.assertEqual(len(self.lines("installed")), installs, calls)
                report = [line for line in run.stdout.splitlines() if "did not download" in line]
                self.assertLessEqual(len(report), 1, "the failing list is reported in one line")

    def test_host_cases(self):
        cases = [
            # (stand-in loader, kind, preset, loader picked)
            ("#!/bin/sh\necho 'ld.so (Debian GLIBC 2.36) stable release'\n", "wow64", "windows",
             "wine"),
            ("#!/bin/sh\necho \"$0: cannot execute binary file: Exec format error\" >&2\n"
             "exit 126\n", "win64", "windows-x64", "wine64"),
        ]
        for loader, kind, preset, wine in cases:
            with self.subTest(kind):
                write_program(self.bin, "ld-linux.so.2", loader)
                for name in ("wine", "wine64"):
                    write_program(self.bin, name, "#!/bin/sh\nexit 0\n")
                host = str(ROOT / "scripts" / "wine-host")

                def ask(*args: str) -> str:
                    return subprocess.run([host, *args], env=self.env(), check=True, text=True,
                                          capture_output=True, timeout=30).stdout.strip()
                self.assertEqual(ask(), kind)
                self.assertEqual(ask("--preset"), preset)
                self.assertIn("no 32-bit code" if kind == "win64" else "runs 32-bit code",
                              ask("--say"))
                self.assertTrue(ask("--loader").endswith("/" + wine))
                prefix = ask("--prefix", "/w/prefix")
                self.assertEqual(prefix, "/w/prefix" if kind == "wow64" else "/w/prefix-win64")


class LayersTest(unittest.TestCase):
    """The configuration refuses a source that includes against the direction of the
    dependencies (cmake/layers.cmake), and only such a source."""

    def test_include_cases(self):
        cases = [
            # (file below src, its include, refused)
            ("archive/removal.cpp", "update/main.h", True),
            ("archive/zipkit/zipkit.cpp", "ui/start_window.h", True),
            ("ui/start_window.cpp", "archive/zip_component.h", True),
            ("platform/text.cpp", "env/environment.h", True),
            ("posix/main.cpp", "win32/paths.h", True),
            ("tools/new.cpp", "platform/text.h", True),  # a folder without a place
            ("archive/zipkit/zipkit.cpp", "platform/text.h", False),
            ("update/main.cpp", "archive/zip_component.h", False),
            ("check/archive_check.cpp", "update/extraction_plan.h", False),
            ("win32/main.cpp", "update/main.h", False),
            # the zip component shows the rest of the updater one header
            ("check/archive_check.cpp", "archive/zipkit/entry_checks.h", True),
            ("update/main.cpp", "archive/zipkit/mask.h", True),
            ("update/main_with_zipkit.cpp", "archive/zipkit/zipkit.h", False),
            ("archive/zipkit/extraction.cpp", "archive/zipkit/entry_checks.h", False),
        ]
        for source, include, refused in cases:
            with self.subTest(source=source, include=include), \
                    tempfile.TemporaryDirectory() as tmp:
                path = Path(tmp) / source
                path.parent.mkdir(parents=True)
                path.write_text(f'#include <string>\n#include "{include}"\n')
                result = subprocess.run(
                    ["cmake", f"-DORV_LAYERS_ROOT={tmp}", "-P", str(ROOT / "cmake/layers.cmake")],
                    capture_output=True, text=True, timeout=60)
                self.assertEqual(result.returncode != 0, refused, result.stderr)
                if refused:
                    self.assertIn(source, result.stderr)


if __name__ == "__main__":
    unittest.main()
