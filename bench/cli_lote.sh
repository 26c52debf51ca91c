#!/usr/bin/env bash
# The CLI as an operator runs it: one process over a folder of N invoices
# (copies of the bundled sample), with -j jobs. Prints wall time, CPU time
# and peak memory of the whole process.
#   bench/cli_lote.sh [BUILD_DIR] [N] [JOBS]
set -euo pipefail
raiz=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$raiz/build}
n=${2:-1000}
jobs=${3:-$(nproc)}
danfe=$build/danfe
[ -x "$danfe" ] || { echo "sem $danfe: compile antes (cmake --build build)" >&2; exit 1; }
command -v /usr/bin/time >/dev/null || { echo "falta /usr/bin/time (apt-get install time)" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/notas" "$tmp/saida"
for i in $(seq -w 1 "$n"); do cp "$raiz/samples/nfe-exemplo.xml" "$tmp/notas/nota-$i.xml"; done

/usr/bin/time -f '%e %U %S %M' -o "$tmp/tempo" "$danfe" pdf -j "$jobs" "$tmp/notas" -o "$tmp/saida" >/dev/null
read -r parede usuario sistema picoKb <"$tmp/tempo"
feitos=$(find "$tmp/saida" -name '*.pdf' | wc -l)
awk -v n="$n" -v j="$jobs" -v f="$feitos" -v w="$parede" -v u="$usuario" -v s="$sistema" -v m="$picoKb" 'BEGIN {
    printf "%d arquivos (%d PDFs), -j %d: %.2f s de relógio, %.2f s de CPU (%.2f ms por arquivo), pico %.1f MiB\n",
           n, f, j, w, u + s, (u + s) * 1000 / n, m / 1024 }'
[ "$feitos" -eq "$n" ]
