#!/usr/bin/env bash
# CI stage of the 32-bit Windows DLL, after the Linux tests (which leave
# build/danfe for the PDF comparison): installs the cross compiler and Wine
# when missing, builds the static libraries (cached between runs) and the DLL,
# and runs the Wine tests. The last line is theirs: "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
faltam=()
command -v i686-w64-mingw32-g++-posix > /dev/null || faltam+=(mingw-w64 g++-mingw-w64-i686)
for p in cmake ninja pkg-config make file; do command -v $p > /dev/null || faltam+=("$p"); done
[[ " ${faltam[*]} " == *" ninja "* ]] && faltam=("${faltam[@]/ninja/ninja-build}")
if ((${#faltam[@]})); then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${faltam[@]}" > /dev/null
fi
bash win32/build.sh build-win32
bash win32/test.sh build-win32
