# shellcheck shell=sh
# Debian source packages for the mingw-w64 cross-builds. Sourced by the build-*-mingw scripts
# (POSIX sh); $orv_who names the caller in its reports.
#
#   orv_check_triplet TRIPLET         fails unless i686-w64-mingw32 or x86_64-w64-mingw32
#   orv_lock CACHE NAME               holds CACHE/NAME.lock until the script ends: the presets
#                                     may configure side by side, one builds, the other waits
#   orv_need_tools COMMAND:PACKAGE...
#                                     installs the packages whose commands are missing
#   orv_debian_source PACKAGE DIR MARKER
#                                     prints the unpacked source tree of PACKAGE below DIR,
#                                     fetched once with `apt-get source`; MARKER is a file
#                                     that only a whole tree holds (CMakeLists.txt, configure)

orv_who=${orv_who:-build-mingw}
. "$(dirname "$0")/lib/apt.sh"

orv_check_triplet() {
    case "$1" in
    i686-w64-mingw32 | x86_64-w64-mingw32) ;;
    *)
        echo "$orv_who: unknown triplet $1" >&2
        exit 2
        ;;
    esac
}

orv_need_tools() {
    orv_missing=""
    for orv_tool in "$@"; do
        command -v "${orv_tool%%:*}" >/dev/null 2>&1 || orv_missing="$orv_missing ${orv_tool#*:}"
    done
    if [ -n "$orv_missing" ]; then
        echo "$orv_who: installing$orv_missing" >&2
        # shellcheck disable=SC2086 # the packages are words
        orv_apt_install $orv_missing
    fi
}

orv_lock() {
    exec 9>"$1/$2.lock"
    flock 9
}

# Debian's source entries for the same suites as the binary ones.
orv_enable_deb_src() {
    orv_list=/etc/apt/sources.list.d/orv-deb-src.sources
    if [ ! -f "$orv_list" ]; then
        if [ ! -f /etc/apt/sources.list.d/debian.sources ]; then
            echo "$orv_who: no /etc/apt/sources.list.d/debian.sources to copy" >&2
            exit 1
        fi
        # Each stanza of debian.sources again, as Types: deb-src.
        sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $orv_as_root tee "$orv_list" >/dev/null
    fi
    if ! apt-cache showsrc "$1" 2>/dev/null | grep -q "^Package: $1\$"; then
        orv_apt_update >&2
    fi
}

orv_source_tree() {
    for orv_dir in "$2"/"$1"-*/; do
        [ -f "$orv_dir/$3" ] && {
            echo "${orv_dir%/}"
            return 0
        }
    done
    return 1
}

orv_debian_source() {
    if ! orv_source_tree "$1" "$2" "$3" >/dev/null; then
        orv_enable_deb_src "$1"
        # A download cut by a mirror mid-sync is tried again.
        for orv_try in 1 2 3; do
            rm -rf "$2" "$2.tmp"
            mkdir -p "$2.tmp"
            # apt warns that root downloads without its sandbox user; that is expected here.
            (cd "$2.tmp" && apt-get source -qq "$1" 2>&1 >/dev/null) | grep -v unsandboxed >&2 ||
                true
            mv "$2.tmp" "$2"
            orv_source_tree "$1" "$2" "$3" >/dev/null && break
            [ "$orv_try" -eq 3 ] || sleep "${ORV_APT_PAUSE:-5}"
        done
    fi
    orv_source_tree "$1" "$2" "$3" || {
        echo "$orv_who: apt-get source $1 gave no source tree in $2" >&2
        exit 1
    }
}
