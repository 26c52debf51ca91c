#!/usr/bin/env bash
# Cross-builds Corvexa.dll (i686, fully static, stdcall exports by name) and
# its import library libCorvexa.dll.a into build-win32/ (or $1). The static
# libraries it links come from win32/build-deps.sh, which runs first (and
# returns at once when its cache is there).
set -euo pipefail
cd "$(dirname "$0")/.."
B=${1:-build-win32}
DEPS=${CORVEXA_WIN32_DEPS:-$HOME/.cache/corvexa-win32}
bash win32/build-deps.sh "$DEPS"
cmake -S . -B "$B" -G Ninja -DCMAKE_TOOLCHAIN_FILE=win32/toolchain-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DCORVEXA_WIN32_DEPS="$DEPS" > /dev/null
cmake --build "$B" -j"$(nproc)"
echo "win32: $B/Corvexa.dll, $B/libCorvexa.dll.a"
