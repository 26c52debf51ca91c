#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer into build-fuzz and runs
# each for SECONDS over its seed corpus (a working copy of it: what the
# fuzzer finds stays in build-fuzz). Any crash, hang of more than 2 s on one
# input, leak, memory blow-up or sanitizer report fails the run; the input
# that caused it is left in build-fuzz/achados/.
#
#   scripts/fuzz.sh SECONDS [target ...]     (default: every target)
#
# The executions each target ran are printed at the end ("execs").
# FUZZ_TIMEOUT (seconds, default 2) is the time one input may take: CI gives
# more, because under AddressSanitizer on a busy machine the system's image
# decoders can pass 2 s on inputs that take milliseconds in a normal build.
set -euo pipefail
cd "$(dirname "$0")/.."
segundos=${1:?"uso: scripts/fuzz.sh SEGUNDOS [alvo ...]"}
shift
alvos=("$@")
if ((${#alvos[@]} == 0)); then
  alvos=(xml_documento nfe_leitura nfe_layout logo_imagem ini metafile_wmf metafile_emf)
fi
declare -A corpus=([xml_documento]=xml [nfe_leitura]=nfe [nfe_layout]=nfe [logo_imagem]=logo [ini]=ini
                   [metafile_wmf]=wmf [metafile_emf]=emf)

command -v clang++ >/dev/null || { echo "fuzz: clang++ em falta (scripts/install-deps.sh)" >&2; exit 1; }

dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEXA_FUZZ=ON -DCORVEXA_TESTS=OFF \
      -DCORVEXA_BENCH=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" -j"$(nproc)" --target "${alvos[@]/#/fuzz_}"

# Undefined behaviour ends the run like any other finding.
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1
mkdir -p "$dir/achados"
falhas=()
resumo=()
for alvo in "${alvos[@]}"; do
  trabalho="$dir/corpus/$alvo"
  mkdir -p "$trabalho"
  log="$dir/fuzz_$alvo.log"
  echo "== fuzz_$alvo: ${segundos}s"
  if "$dir/fuzz/fuzz_$alvo" "$trabalho" "fuzz/corpus/${corpus[$alvo]}" \
       -max_total_time="$segundos" -timeout="${FUZZ_TIMEOUT:-2}" -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$dir/achados/$alvo-" >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    resumo+=("fuzz_$alvo: ${execs:-?} execs, nada encontrado")
  else
    tail -n 60 "$log"
    falhas+=("$alvo")
    resumo+=("fuzz_$alvo: ACHADO (ver $log e $dir/achados/)")
  fi
done
printf '%s\n' "${resumo[@]}"
((${#falhas[@]} == 0))
