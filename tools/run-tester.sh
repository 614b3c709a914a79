#!/usr/bin/env bash
# Builds the tester and the simulated scale, starts the scale on a virtual
# serial port and opens the tester. Options are passed to the simulated
# scale (see: build/tools/sma-scale-sim --help), for example --commands HPTMCU.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build"

"$root/tools/install-deps.sh" build
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DSMA_BUILD_TESTS=OFF -DSMA_BUILD_BENCH=OFF
cmake --build "$build" -j"$(nproc)" --target sma-tester sma-scale-sim

announcement=$(mktemp)
"$build/tools/sma-scale-sim" "$@" >"$announcement" &
scale=$!
trap 'kill "$scale" 2>/dev/null; rm -f "$announcement"' EXIT

device=""
for _ in $(seq 1 100); do
    device=$(sed -n 's/.*Type this into Port: //p' "$announcement")
    [ -n "$device" ] && break
    kill -0 "$scale" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$device" ]; then
    echo "The simulated scale did not start." >&2
    exit 1
fi

echo
echo "Simulated SMA scale ready on $device"
echo "Type $device into Port, press Start and confirm the message."
echo
"$build/tester/sma-tester"
