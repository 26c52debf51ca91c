#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer into
# build-asan and runs the whole test suite there (with the fuzz corpora
# replayed by their file drivers). Any report fails the run: undefined
# behaviour halts, leaks are checked at every program's exit.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=build-asan
san="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEXA_BENCH=OFF -DCORVEXA_FUZZ=ON \
      -DCMAKE_C_FLAGS="$san" -DCMAKE_CXX_FLAGS="$san" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
      -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address,undefined" \
      -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$dir" -j"$(nproc)"

# GTK and GLib keep caches to the end of the process: tests/hardening/lsan.supp
# names only those libraries.
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=0
export LSAN_OPTIONS=suppressions="$PWD/tests/hardening/lsan.supp":print_suppressions=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# The sanitizer's dlopen does not see the run path of the program that calls
# it, so the GTK module beside the library is found through the loader path.
# Only for these runs: the TSan build below must load its own library.
caminho="$PWD/$dir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
# Excluded:
#  - instalacao builds the README's example with a plain compiler against the
#    installed library, which carries the sanitizer runtime: a program without
#    it cannot load the library (the runtime must come first). The plain
#    build of scripts/test.sh runs that test.
# Run without the leak check (every other check on):
#  - the tests that load the library with dlopen and unload it with dlclose:
#    what the library keeps for the life of the process is unmapped with it
#    and read as leaked, with no symbols left to tell which. The leak check
#    of the exports runs in test_hardening, which keeps the library loaded.
#  - the GTK windows, for GTK's own allocations.
descarrega='^(ApiTest|Email|ImpressaoDoDanfe|JanelasTest)\.'
LD_LIBRARY_PATH="$caminho" ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -E "^instalacao\$|$descarrega"
ASAN_OPTIONS=detect_leaks=0:strict_string_checks=1:detect_stack_use_after_return=0 LD_LIBRARY_PATH="$caminho" \
  ctest --test-dir "$dir" --output-on-failure -j"$(nproc)" -R "$descarrega"

# ThreadSanitizer over the C++ functions run on several documents at once
# (what danfe -j relies on): a build of its own, of that test alone.
tdir=build-tsan
cmake -S . -B "$tdir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEXA_BENCH=OFF \
      -DCMAKE_C_FLAGS="-fsanitize=thread" -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=thread" \
      -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
cmake --build "$tdir" -j"$(nproc)" --target test_hardening
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "$tdir/tests/test_hardening" --gtest_filter='Paralelo.*'
