#!/usr/bin/env bash
# Tests Corvexa.dll as a 32-bit Windows host sees it, under 32-bit Wine:
#
#   bash win32/test.sh [BUILD]        (default build-win32; built by win32/build.sh)
#
# - the export table (i686-w64-mingw32-objdump -p): exactly the seven names at
#   their ordinals, and only DLLs of the system imported;
# - win32/tests/abi_test.c under Wine: each export by name and by ordinal at
#   the same address, stdcall stack balance, DesignDanfe's failure, failures
#   reported as text, unload and load again, and ExportDanfe writing the PDF
#   and JPEG of the bundled sample into the folder set by DanfeDefinirPasta;
# - win32/tests/implib_test.c: a C host linked with the import library;
# - the PDF written under Wine holds the same text (pdftotext) as the one the
#   Linux build writes ($CORVEXA_LINUX_BUILD, default build: its danfe tool).
#
# Wine runs headless in a fresh win32 prefix under /tmp, removed at the end.
# Wine is not Windows: the loader, the calling convention and the files
# written carry over; what GDI, printing and the shell dialogs do there does
# not prove what they do on Windows. The last line is "N passed, N failed";
# the exit status is not zero when a check failed.
set -euo pipefail
cd "$(dirname "$0")/.."
RAIZ=$PWD
B=$(cd "${1:-build-win32}" && pwd)
LINUX=${CORVEXA_LINUX_BUILD:-build}
H=i686-w64-mingw32

faltam=()
command -v $H-gcc-posix > /dev/null || faltam+=(mingw-w64 g++-mingw-w64-i686)
command -v wine > /dev/null || faltam+=(wine wine64 wine32:i386)
command -v pdftotext > /dev/null || faltam+=(poppler-utils)
[[ -f /usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf ]] || faltam+=(fonts-liberation)
if ((${#faltam[@]})); then
    if [[ " ${faltam[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${faltam[@]}" > /dev/null
fi

aprovados=0
reprovados=0
verificar() {  # verificar OK|FAIL "what" ["detail"]
    if [[ $1 == ok ]]; then aprovados=$((aprovados + 1)); else reprovados=$((reprovados + 1)); fi
    echo "$1 - $2${3:+: $3}"
}

T=$(mktemp -d /tmp/corvexa-wine.XXXXXX)
export WINEPREFIX=$T/pfx WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
terminar() {
    wineserver -k 2> /dev/null || true
    rm -rf "$T"
}
trap terminar EXIT

# ---------------------------------------------------------------- export table
DLL=$B/Corvexa.dll
[[ -f $DLL ]] || { echo "no $DLL: run win32/build.sh first" >&2; exit 1; }
$H-objdump -p "$DLL" > "$T/objdump.txt"
# The name table lists "[index] name"; the ordinal is index + Ordinal Base.
# Every entry of the address table must have one of the names.
exportados=$(awk '/Ordinal Base/ {base=$NF} /^\[Ordinal\/Name Pointer\] Table/ {t=1; next}
                 t && NF == 0 {t=0} t {i=$0; sub(/^[^[]*\[ */, "", i); sub(/\].*/, "", i); print i + base, $NF}' \
             "$T/objdump.txt" | sort -n | tr '\n' ' ')
funcoes=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' "$T/objdump.txt" | grep -c '+base\[' || true)
[[ $funcoes == 7 ]] || exportados+="($funcoes addresses)"
esperados="1 EmailDanfe 2 ExportDanfe 3 DesignDanfe 4 PreviewDanfe 5 PrintDanfe 6 DanfeUltimoErro 7 DanfeDefinirPasta "
[[ $exportados == "$esperados" ]] && verificar ok "objdump: exactly the seven names at their ordinals" \
    || verificar FAIL "objdump: exactly the seven names at their ordinals" "$exportados"
importados=$(awk '/DLL Name:/ {print toupper($3)}' "$T/objdump.txt" | sort -u | tr '\n' ' ')
sistema=" KERNEL32.DLL MSVCRT.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL OLE32.DLL COMDLG32.DLL COMCTL32.DLL WINSPOOL.DRV GDIPLUS.DLL SHLWAPI.DLL MSIMG32.DLL "
estranhos=""
for d in $importados; do [[ $sistema == *" $d "* ]] || estranhos+="$d "; done
[[ -z $estranhos ]] && verificar ok "objdump: only system DLLs imported" "$importados" \
    || verificar FAIL "objdump: only system DLLs imported" "also $estranhos"

# ---------------------------------------------------------------- test hosts
C=$WINEPREFIX/drive_c
mkdir -p "$T/exe"
$H-gcc -O2 -Wall -o "$T/exe/abi_test.exe" win32/tests/abi_test.c
if $H-gcc -O2 -Wall -Iinclude -o "$T/exe/implib_test.exe" win32/tests/implib_test.c "$B/libCorvexa.dll.a"; then
    verificar ok "a C host links with corvexa.h and libCorvexa.dll.a"
else
    verificar FAIL "a C host links with corvexa.h and libCorvexa.dll.a"
fi

# 32-bit Wine needs a kernel that runs 32-bit programs; some virtual
# machines cannot ("Exec format error"). Then the tests above are all that
# can run here: said so plainly, and a failure when CORVEXA_WIN32_EXIGIR_WINE=1.
if ! /usr/lib/wine/wine --version > /dev/null 2>&1; then
    motivo=$(/usr/lib/wine/wine --version 2>&1 | tail -n1) || true
    if [[ ${CORVEXA_WIN32_EXIGIR_WINE:-0} == 1 ]]; then
        verificar FAIL "32-bit Wine runs" "$motivo"
    else
        echo "SKIP - the Wine tests were NOT run: this machine cannot run 32-bit programs ($motivo)"
    fi
    echo "$aprovados passed, $reprovados failed"
    ((reprovados == 0))
    exit
fi

# A fresh prefix; the layouts' fonts as a Windows system without Arial,
# Tahoma and Courier New would offer them (Liberation, Wine's Tahoma).
wineboot -i > /dev/null 2>&1 || true
F=$C/windows/Fonts
mkdir -p "$F" "$C/teste" "$C/saida"
cp /usr/share/fonts/truetype/liberation/Liberation{Sans,Mono}-{Regular,Bold}.ttf "$F/"
for t in tahoma.ttf tahomabd.ttf; do
    [[ -f $F/$t ]] || cp "/usr/share/wine/fonts/$t" "$F/"
done
cp "$DLL" "$T/exe/"*.exe "$C/teste/"
cp samples/nfe-exemplo.xml "$C/teste/nota.xml"

# ---------------------------------------------------------------- under Wine
rodar() {  # runs a test host and adds its "N passed, N failed" to ours
    local saida
    saida=$(cd "$C/teste" && wine "$@" 2>&1 | tr -d '\r') || true
    echo "$saida" | grep -E '^(ok|FAIL) - ' || true
    local fim
    fim=$(echo "$saida" | grep -E '^[0-9]+ passed, [0-9]+ failed$' | tail -n1)
    if [[ -z $fim ]]; then
        verificar FAIL "$1 ran to its end" "$(echo "$saida" | tail -n 3 | tr '\n' ' ')"
        return
    fi
    aprovados=$((aprovados + ${fim%% passed*}))
    local f=${fim#*, }
    reprovados=$((reprovados + ${f%% failed}))
}
rodar 'C:\teste\abi_test.exe' 'C:\teste\Corvexa.dll' 'C:\teste\nota.xml' 'C:\saida'
rodar 'C:\teste\implib_test.exe'

# ---------------------------------------------------------------- same PDF text as Linux
if [[ -x $LINUX/danfe ]]; then
    mkdir -p "$T/linux"
    (cd "$T" && "$RAIZ/$LINUX/danfe" exportar "$RAIZ/samples/nfe-exemplo.xml" --pasta "$T/linux" > /dev/null 2>&1) || true
    if [[ -f $T/linux/nfe-exemplo.pdf && -f $C/saida/nota.pdf ]] \
        && pdftotext -raw "$T/linux/nfe-exemplo.pdf" "$T/linux.txt" \
        && pdftotext -raw "$C/saida/nota.pdf" "$T/wine.txt"; then
        if [[ -s $T/wine.txt ]] && cmp -s "$T/linux.txt" "$T/wine.txt"; then
            verificar ok "the PDF written under Wine holds the Linux PDF's text" "$(wc -l < "$T/wine.txt") lines"
        else
            verificar FAIL "the PDF written under Wine holds the Linux PDF's text" \
                "$(diff "$T/linux.txt" "$T/wine.txt" | head -n 6 | tr '\n' ' ')"
        fi
    else
        verificar FAIL "the PDF written under Wine holds the Linux PDF's text" "a PDF is missing"
    fi
else
    verificar FAIL "the PDF written under Wine holds the Linux PDF's text" "no $LINUX/danfe (build Linux first)"
fi
# The JPEG: an A4 page at 200 dpi.
if file "$C/saida/nota.jpg" 2> /dev/null | grep -q '1654x2339'; then
    verificar ok "the JPEG is an A4 page at 200 dpi (1654 x 2339)"
else
    verificar FAIL "the JPEG is an A4 page at 200 dpi (1654 x 2339)" "$(file -b "$C/saida/nota.jpg" 2>&1)"
fi

echo "$aprovados passed, $reprovados failed"
((reprovados == 0))
