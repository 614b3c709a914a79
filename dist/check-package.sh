#!/usr/bin/env bash
# Checks the Debian package as a user meets it: unpacked into a scratch
# folder, its programs run from there (a compliance check against its own
# simulated scale, with the PDF its module draws), its menu entry and
# AppStream data pass their validators, its manual pages render without a
# warning, bash completes the options and ports, and lintian finds no error.
#   check-package.sh PACKAGE.deb
set -uo pipefail

deb=$1
scratch=$(mktemp -d)
simulator=""
cleanup()
{
    [ -n "$simulator" ] && kill "$simulator" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT

failures=0
fail()
{
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

dpkg-deb -x "$deb" "$scratch/root" || {
    echo "FAIL: cannot unpack $deb" >&2
    exit 1
}
usr=$scratch/root/usr
bin=$usr/bin

# The programs run from wherever the package was unpacked.
help=$("$bin/sma-check" --help) || fail "sma-check --help exits with $?"
grep -q -- '--port <port>' <<<"$help" || fail "sma-check --help lists no --port"
"$bin/sma-check" --list-ports >/dev/null || fail "sma-check --list-ports exits with $?"

# A whole check against the packaged simulated scale; the PDF proves that
# sma-check finds its module in the installed layout.
"$bin/sma-scale-sim" --delay 0 >"$scratch/simulator.out" &
simulator=$!
device=""
for _ in $(seq 1 100); do
    device=$(sed -n 's/.*Type this into Port: //p' "$scratch/simulator.out")
    [ -n "$device" ] && break
    sleep 0.1
done
if [ -z "$device" ]; then
    fail "sma-scale-sim announced no port"
else
    "$bin/sma-check" --port "$device" --weight-stream skip --quiet --pdf "$scratch/report.pdf" \
        >"$scratch/report.txt" 2>"$scratch/check.err" ||
        fail "sma-check against the simulated scale exits with $?: $(cat "$scratch/check.err")"
    grep -q '^<LF>A<CR>.*Passed$' "$scratch/report.txt" ||
        fail "sma-check's report lists no passed A: $(cat "$scratch/report.txt")"
    [ "$(head -c 5 "$scratch/report.pdf" 2>/dev/null)" = "%PDF-" ] || fail "sma-check wrote no PDF"
fi

# The SQL that sets up a line's server.
for sql in sma-owner.sql sma-bench.sql; do
    [ -f "$usr/share/sma-compliance-tester/sql/$sql" ] || fail "the package holds no $sql"
done

# The menu entry and the AppStream data.
for entry in "$usr"/share/applications/*.desktop; do
    desktop-file-validate "$entry" || fail "desktop-file-validate rejects ${entry##*/}"
done
for metainfo in "$usr"/share/metainfo/*.xml; do
    appstreamcli validate --no-net --explain "$metainfo" >"$scratch/appstream.out" 2>&1 ||
        fail "appstreamcli rejects ${metainfo##*/}: $(cat "$scratch/appstream.out")"
done

# Manual pages render without a warning.
for page in "$usr"/share/man/man1/*.1.gz; do
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns about ${page##*/}: $warnings"
done

# Bash completes options from --help, the values an option names, and ports.
completions() # program, the words typed after it
{
    PATH="$bin:$PATH" bash -c '
        source /usr/share/bash-completion/bash_completion
        source "$1"; shift
        COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
        COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
        _sma_tools "$1"
        printf "%s\n" "${COMPREPLY[@]}"' completion \
        "$usr/share/bash-completion/completions/$1" "$@"
}
for program in sma-check sma-scale-sim; do
    [ -f "$usr/share/bash-completion/completions/$program" ] ||
        fail "no bash completion for $program"
done
grep -qx -- '--list-ports' <<<"$(completions sma-check --li)" || fail "--li completes no --list-ports"
[ "$(completions sma-check --weight-stream '' | sort | tr '\n' ' ')" = "auto skip " ] ||
    fail "--weight-stream completes $(completions sma-check --weight-stream '' | tr '\n' ' ')"
[ "$(completions sma-check --port '')" = "$("$bin/sma-check" --list-ports 2>/dev/null | cut -f1)" ] ||
    fail "--port completes other ports than sma-check --list-ports lists"
grep -qx -- '--no-cycle' <<<"$(completions sma-scale-sim --no-c)" || fail "--no-c completes no --no-cycle"

# Errors fail; the warnings left are shown.
lintian --fail-on error --no-tag-display-limit "$deb" >"$scratch/lintian.out" 2>&1 ||
    fail "lintian: $(grep -v '^[WIPN]:' "$scratch/lintian.out")"
grep '^W:' "$scratch/lintian.out"

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) of $deb failed" >&2
    exit 1
fi
echo "$deb: all checks passed"
