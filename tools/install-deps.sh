#!/usr/bin/env bash
# Installs the Debian packages the tester needs, skipping those already there.
#   install-deps.sh build   what building and running the tester and building its
#                           Debian package needs
#   install-deps.sh test    what the test suite needs on top: clang for the fuzzers,
#                           what checks the package (validators, man, lintian), and
#                           PostgreSQL for the tests of recording into a server, and
#                           ser2net, the serial device server the network tests bridge
set -euo pipefail

# Qt SQL's drivers record the checks: SQLite on the bench, PostgreSQL for a line.
build_packages=(cmake make g++ qt6-base-dev qt6-serialport-dev libcups2-dev fonts-liberation fonts-dejavu-core
    libqt6sql6-sqlite libqt6sql6-psql dpkg-dev file)
# postgresql: a throwaway server (pg_virtualenv) for the tests of recording into one.
# ser2net: a real RFC 2217 device server in front of the simulated scale.
test_packages=(clang libclang-rt-14-dev
    desktop-file-utils appstream man-db bash-completion lintian
    libxml2-utils postgresql ser2net)

wanted=()
for group in "$@"; do
    case "$group" in
    build) wanted+=("${build_packages[@]}") ;;
    test) wanted+=("${test_packages[@]}") ;;
    *)
        echo "install-deps: unknown group '$group' (use build and/or test)" >&2
        exit 2
        ;;
    esac
done

missing=()
for package in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ "${#missing[@]}" -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}" >&2
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
