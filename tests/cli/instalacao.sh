#!/bin/bash
# Installs the build into a temporary prefix and builds the README's example
# program against it, once through pkg-config and once through CMake's
# find_package, then runs both, and the installed danfe, on a sample NF-e.
#   instalacao.sh BUILD RAIZ AMOSTRA
set -euo pipefail
build=$1 raiz=$2 amostra=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefixo=$tmp/prefixo

falha() { echo "FALHA: $*" >&2; exit 1; }
paginas() { pdfinfo "$1" | awk '/^Pages:/ {print $2}'; }

cmake --install "$build" --prefix "$prefixo" >"$tmp/install.log"

lib=$(find "$prefixo" -name 'libcorvexa.so.0' -print -quit)
[ -n "$lib" ] || falha "libcorvexa.so.0 não instalada"
readelf -d "$lib" | grep -q 'SONAME.*\[libcorvexa\.so\.0\]' || falha "SONAME de $lib"
libdir=$(dirname "$lib")
[ -e "$libdir/libcorvexa.so" ] || falha "libcorvexa.so (para -lcorvexa) não instalada"
[ -f "$prefixo/include/corvexa.h" ] && [ -f "$prefixo/include/corvexa/corvexa.hpp" ] || falha "cabeçalhos"
if [ -f "$build/libcorvexa-gtk.so" ]; then
    [ -f "$libdir/libcorvexa-gtk.so" ] || falha "o módulo GTK não está ao lado da biblioteca"
fi

# The example exactly as the README shows it: its one C++ block.
awk '/^```cpp$/ {dentro = 1; next} /^```$/ {dentro = 0} dentro' "$raiz/README.md" >"$tmp/exemplo.cpp"
[ -s "$tmp/exemplo.cpp" ] || falha "o README não tem o programa de exemplo"

# pkg-config, with the installed headers only.
export PKG_CONFIG_PATH=$libdir/pkgconfig
c++ -std=c++17 -Wall -Werror "$tmp/exemplo.cpp" $(pkg-config --cflags --libs corvexa) \
    -Wl,-rpath,"$(pkg-config --variable=libdir corvexa)" -o "$tmp/exemplo-pc"
"$tmp/exemplo-pc" "$amostra" "$tmp/pc.pdf" >"$tmp/pc.txt"
[ "$(paginas "$tmp/pc.pdf")" = 1 ] || falha "exemplo (pkg-config): PDF"
[ -s "$tmp/pc.txt" ] || falha "exemplo (pkg-config): nada na saída"

# The C header, from C.
printf '#include <corvexa.h>\n#include <stdio.h>\nint main(void) { DesignDanfe(0, 0, 0); puts(DanfeUltimoErro()); return 0; }\n' >"$tmp/c.c"
cc -std=c11 -pedantic-errors "$tmp/c.c" $(pkg-config --cflags --libs corvexa) -Wl,-rpath,"$libdir" -o "$tmp/c"
[ "$("$tmp/c")" = "DesignDanfe não está disponível através da DLL." ] || falha "programa em C"

# CMake's find_package.
mkdir "$tmp/projeto"
cp "$tmp/exemplo.cpp" "$tmp/projeto/"
cat >"$tmp/projeto/CMakeLists.txt" <<'FIM'
cmake_minimum_required(VERSION 3.20)
project(exemplo CXX)
find_package(Corvexa 0.1 REQUIRED)
add_executable(exemplo exemplo.cpp)
target_link_libraries(exemplo PRIVATE Corvexa::corvexa)
FIM
cmake -S "$tmp/projeto" -B "$tmp/projeto/b" -DCMAKE_PREFIX_PATH="$prefixo" >"$tmp/cmake.log" 2>&1 ||
    { cat "$tmp/cmake.log" >&2; falha "find_package(Corvexa)"; }
cmake --build "$tmp/projeto/b" >>"$tmp/cmake.log" 2>&1 || { cat "$tmp/cmake.log" >&2; falha "exemplo (CMake)"; }
"$tmp/projeto/b/exemplo" "$amostra" "$tmp/cmake.pdf" >/dev/null
cmp -s "$tmp/pc.txt" <("$tmp/projeto/b/exemplo" "$amostra" "$tmp/cmake.pdf") || falha "exemplo (CMake): saída"
[ "$(paginas "$tmp/cmake.pdf")" = 1 ] || falha "exemplo (CMake): PDF"

# The installed tool finds the installed library.
"$prefixo/bin/danfe" --version | grep -q '^danfe (Corvexa) ' || falha "danfe --version"
"$prefixo/bin/danfe" pdf "$amostra" -o "$tmp/danfe.pdf"
[ "$(paginas "$tmp/danfe.pdf")" = 1 ] || falha "danfe pdf"
usada=$(ldd "$prefixo/bin/danfe" | awk '/libcorvexa\.so\.0/ {print $3}')
[ "$(realpath "$usada")" = "$(realpath "$lib")" ] || falha "danfe usa $usada, não a biblioteca instalada"
echo "instalação conferida"
