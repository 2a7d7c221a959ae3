# Package installation that survives a package index caught mid-sync. Sourced by the setup
# scripts (POSIX sh); every function prints its reports with the caller's name, $orv_who.
#
#   orv_apt_update            apt-get update, tried again a few times; a list that still fails
#                             is reported in one line and the others are used
#   orv_apt_install PKG...    installs; when a missing list left the halves of a multiarch
#                             package with different candidates, installs again preferring the
#                             versions that every architecture offers; fails naming what it
#                             could not install
#
# ORV_APT_TRIES and ORV_APT_PAUSE (seconds) set how often and how patiently update tries.

orv_who=${orv_who:-setup}
orv_as_root=""
[ "$(id -u)" -eq 0 ] || orv_as_root=sudo
# The code names of the suites whose lists did not download in the last update.
orv_apt_half_suites=""

orv_apt_update() {
    orv_tries=${ORV_APT_TRIES:-3}
    orv_try=1
    while :; do
        orv_status=0
        orv_out=$($orv_as_root apt-get update -qq 2>&1) || orv_status=$?
        orv_failed=$(printf '%s\n' "$orv_out" | sed -n 's/^[EW]: Failed to fetch \([^ ]*\).*/\1/p')
        if [ "$orv_status" -eq 0 ] && [ -z "$orv_failed" ]; then
            orv_apt_half_suites=""
            return 0
        fi
        [ "$orv_try" -ge "$orv_tries" ] && break
        orv_try=$((orv_try + 1))
        sleep "${ORV_APT_PAUSE:-5}"
    done
    if [ -n "$orv_failed" ]; then
        orv_apt_half_suites=$(printf '%s\n' "$orv_failed" |
            sed -n 's|.*/dists/\([^/]*\)/.*|\1|p' | sort -u | tr '\n' ' ')
        echo "$orv_who: after $orv_tries tries these package lists did not download, going on" \
            "without them: $(printf '%s\n' "$orv_failed" | sed 's|.*/dists/||' | tr '\n' ' ' | sed 's/ *$//')"
    else
        echo "$orv_who: apt-get update failed $orv_tries times, going on with the lists there" \
            "are: $(printf '%s\n' "$orv_out" | grep '^E:' | tail -n 1)"
    fi
    return 0
}

# orv_apt_try PREFERENCES_DIR PKG...: one install, quiet; apt's errors in $orv_apt_errors.
orv_apt_try() {
    orv_prefs=$1
    shift
    set -- -y -qq --no-install-recommends "$@"
    [ -z "$orv_prefs" ] || set -- -o "Dir::Etc::PreferencesParts=$orv_prefs" "$@"
    orv_status=0
    orv_apt_errors=$(DEBIAN_FRONTEND=noninteractive $orv_as_root apt-get install "$@" 2>&1 \
        >/dev/null) || orv_status=$?
    return "$orv_status"
}

# orv_apt_simulate PREFERENCES_DIR PKG: would the package install?
orv_apt_simulate() {
    if [ -n "$1" ]; then
        apt-get install -s -o "Dir::Etc::PreferencesParts=$1" "$2" >/dev/null 2>&1
    else
        apt-get install -s "$2" >/dev/null 2>&1
    fi
}

orv_apt_install() {
    orv_apt_try "" "$@" && return 0
    orv_prefs=""
    if [ -n "$orv_apt_half_suites" ]; then
        # A suite whose list of one architecture is missing offers the other architecture a
        # newer version than that one can get; preferring the other suites for this install
        # gives both halves of a multiarch package the same version.
        orv_prefs=$(mktemp -d)
        cp /etc/apt/preferences.d/* "$orv_prefs/" 2>/dev/null || true
        for orv_suite in $orv_apt_half_suites; do
            printf 'Package: *\nPin: release n=%s\nPin-Priority: 100\n\n' "$orv_suite"
        done >"$orv_prefs/zz-orvupd-setup.pref"
        echo "$orv_who: installing again with the versions that every architecture offers" \
            "(preferring other suites to $orv_apt_half_suites)"
        if orv_apt_try "$orv_prefs" "$@"; then
            rm -rf "$orv_prefs"
            return 0
        fi
    fi
    orv_apt_last_errors=$orv_apt_errors
    orv_missing=""
    for orv_package; do
        orv_apt_simulate "$orv_prefs" "$orv_package" || orv_missing="$orv_missing $orv_package"
    done
    [ -z "$orv_prefs" ] || rm -rf "$orv_prefs"
    printf '%s\n' "$orv_apt_last_errors" | grep '^E:' | tail -n 3 >&2
    if [ -n "$orv_missing" ]; then
        echo "$orv_who: cannot install:$orv_missing" >&2
    else
        echo "$orv_who: cannot install these packages together: $*" >&2
    fi
    return 1
}
