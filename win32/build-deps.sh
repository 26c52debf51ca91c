#!/usr/bin/env bash
# Static i686 Windows builds of the libraries the DLL links: zlib, libpng,
# libjpeg-turbo, pixman, FreeType and cairo, from Debian's own source
# packages (Debian ships none of them cross-built). The sources come through
# a private apt configuration, so the system's sources.list is not touched.
# The result is a prefix with include/ and lib/*.a that later builds reuse:
# nothing is fetched or built again while its stamp matches.
#
#   bash win32/build-deps.sh [PREFIX]     (default $CORVEXA_WIN32_DEPS or ~/.cache/corvexa-win32)
#
# Needs: mingw-w64 (i686, posix threads), cmake, ninja, make, pkg-config.
set -euo pipefail

H=i686-w64-mingw32
P=${1:-${CORVEXA_WIN32_DEPS:-$HOME/.cache/corvexa-win32}}
# Versions of bookworm main: the security archive's sources are not served
# through every mirror, and a pinned set keeps the cache meaningful.
VERSOES="zlib=1:1.2.13.dfsg-1 libpng1.6=1.6.39-2+deb12u5 libjpeg-turbo=1:2.1.5-2 pixman=0.42.2-1 freetype=2.12.1+dfsg-5+deb12u4 cairo=1.16.0-7"
CARIMBO="$VERSOES cfg2"

if [[ -f $P/.carimbo && "$(cat "$P/.carimbo")" == "$CARIMBO" ]]; then
    echo "win32 deps: reusing $P"
    exit 0
fi

S=$(mktemp -d /tmp/corvexa-win32-src.XXXXXX)
trap 'rm -rf "$S"' EXIT
rm -rf "$P"
mkdir -p "$P"/{include,lib/pkgconfig} "$S"/apt/{lists/partial,cache/archives/partial}
chmod 755 "$S"
cd "$S"

printf '%s\n' "deb-src http://deb.debian.org/debian bookworm main" "deb-src http://deb.debian.org/debian bookworm-updates main" \
    > apt/src.list
A=(-o "Dir::Etc::SourceList=$S/apt/src.list" -o Dir::Etc::SourceParts=/nonexistent
   -o "Dir::State::Lists=$S/apt/lists" -o "Dir::Cache=$S/apt/cache")
apt-get "${A[@]}" update -qq 2>/dev/null
# Only the upstream tarballs are used; a missing Debian diff (pixman's) is no
# reason to stop, so each package is asked for on its own.
for v in $VERSOES; do apt-get "${A[@]}" source --download-only -qq "$v" 2>/dev/null || true; done
for p in zlib_1.2.13 libpng1.6_1.6.39 libjpeg-turbo_2.1.5 pixman_0.42.2 freetype_2.12.1 cairo_1.16.0; do
    f=$(compgen -G "${p}*.orig.tar.*" | head -n1) || true
    [[ -n $f ]] || { echo "win32 deps: the sources of ${p%_*} were not fetched" >&2; exit 1; }
    tar xf "$f"
done

# Never the build machine's own .pc files or headers.
export PKG_CONFIG_LIBDIR=$P/lib/pkgconfig PKG_CONFIG_PATH=
export CPPFLAGS="-I$P/include" LDFLAGS="-L$P/lib" CFLAGS="-O2"
CONF=(--host=$H --prefix="$P" --enable-static --disable-shared)
J=-j$(nproc)
q() { "$@" > "$S/ultimo.log" 2>&1 || { tail -40 "$S/ultimo.log" >&2; return 1; }; }
t() { local s=$SECONDS; "$@"; echo "win32 deps: $1 $((SECONDS - s)) s"; }

zlib() {
    cd "$S"/zlib-1.2.13*
    # Its few files compiled directly: the Debian tarball has no Windows makefile.
    local c
    for c in adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees \
             uncompr zutil; do
        q $H-gcc -O2 -c $c.c -o $c.o
    done
    q $H-ar rcs libz.a ./*.o
    cp zlib.h zconf.h "$P/include/" && cp libz.a "$P/lib/"
    printf '%s\n' "prefix=$P" 'libdir=${prefix}/lib' 'includedir=${prefix}/include' '' 'Name: zlib' \
        'Description: zlib' 'Version: 1.2.13' 'Libs: -L${libdir} -lz' 'Cflags: -I${includedir}' > "$P/lib/pkgconfig/zlib.pc"
}
png() { cd "$S"/libpng-1.6.39 && q ./configure "${CONF[@]}" && q make $J && q make install; }
jpeg() {
    mkdir -p "$S/jpeg" && cd "$S/jpeg"
    q cmake "$S/libjpeg-turbo-2.1.5" -G Ninja -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=X86 \
        -DCMAKE_C_COMPILER=$H-gcc -DCMAKE_RC_COMPILER=$H-windres -DCMAKE_INSTALL_PREFIX="$P" \
        -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DCMAKE_BUILD_TYPE=Release -Wno-dev
    q ninja && q ninja install
}
pixman() {
    cd "$S"/pixman-0.42.2
    q ./configure "${CONF[@]}" --disable-gtk --disable-libpng --disable-openmp
    q make $J -C pixman && q make -C pixman install && q make install-pkgconfigDATA
}
freetype() {
    cd "$S"/freetype-2.12.1
    q ./configure "${CONF[@]}" --with-zlib=yes --with-png=yes --with-bzip2=no --with-harfbuzz=no --with-brotli=no
    q make $J && q make install
}
cairo() {
    cd "$S"/cairo-1.16.0
    CPPFLAGS="$CPPFLAGS -DCAIRO_WIN32_STATIC_BUILD" q ./configure "${CONF[@]}" --enable-win32 --enable-win32-font \
        --enable-ft --disable-fc --enable-png --enable-pdf --enable-ps --disable-svg --disable-xlib --disable-xcb \
        --disable-gobject --disable-script --disable-trace --disable-interpreter --disable-full-testing --disable-gtk-doc
    q make $J -C src && q make -C src install
}

t zlib; t png; t jpeg; t pixman; t freetype; t cairo
echo "$CARIMBO" > "$P/.carimbo"
echo "win32 deps: built into $P"
