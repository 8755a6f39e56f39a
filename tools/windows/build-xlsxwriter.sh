# Builds libxlsxwriter (the report program's XLSX writer) for x86_64-w64-mingw32 from Debian's source
# package of the host's version, once, and keeps it in $TIVORA_XLSXWRITER_MINGW. Sourced after
# build-qt.sh (whose fetch_debian_source it shares), not run.
#
# A static library with its bundled minizip; zlib is Debian's libz-mingw-w64-dev (zlib1.dll in the
# package).

TIVORA_XLSXWRITER_MINGW="${TIVORA_XLSXWRITER_MINGW:-$(dirname "$TIVORA_QT_MINGW")/xlsxwriter-mingw}"

# The source opens its files with the wide Windows functions (paths are UTF-8) only when built with MSVC:
# with MinGW it undefines _WIN32 and opens them in the system's code page, where a folder with Czech
# letters is not found. Here MinGW takes the MSVC way too. Idempotent.
patch_xlsxwriter_source() {
    local source="$1"
    sed -i '/^#ifdef __MINGW32__$/,/^#endif$/{/^#undef _WIN32$/d}' "$source/src/packager.c" "$source/src/utility.c"
    sed -i '/^    if(MSVC)$/{N;/iowin32/s/if(MSVC)/if(WIN32)/}' "$source/CMakeLists.txt"
}

# ensure_xlsxwriter_mingw TOOLCHAIN: makes sure $TIVORA_XLSXWRITER_MINGW holds libxlsxwriter of the host's
# version; builds it when not.
ensure_xlsxwriter_mingw() {
    local toolchain="$1" version stamp work started
    version="$(dpkg-query -W -f='${source:Version}' libxlsxwriter-dev)"
    stamp="$version static wide-paths"
    if [ "$(cat "$TIVORA_XLSXWRITER_MINGW/.tivora-stamp" 2>/dev/null)" = "$stamp" ]; then
        echo "libxlsxwriter for MinGW $version: cached in $TIVORA_XLSXWRITER_MINGW"
        return 0
    fi
    work="$TIVORA_XLSXWRITER_MINGW-work"
    mkdir -p "$work"
    started="$(date +%s)"
    echo "Building libxlsxwriter $version for MinGW-w64 in $work"
    # Each step returns on failure: test-windows sources this without set -e.
    fetch_debian_source "$work" libxlsxwriter "$version" || return 1
    patch_xlsxwriter_source "$work/libxlsxwriter" || return 1
    nice -n 19 cmake -S "$work/libxlsxwriter" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$TIVORA_XLSXWRITER_MINGW" -DBUILD_SHARED_LIBS=OFF \
        -DUSE_SYSTEM_MINIZIP=OFF -DBUILD_TESTS=OFF -DBUILD_EXAMPLES=OFF >/dev/null || return 1
    nice -n 19 cmake --build "$work/build" -j "${TIVORA_QT_JOBS:-2}" || return 1
    rm -rf "$TIVORA_XLSXWRITER_MINGW"
    cmake --install "$work/build" >/dev/null || return 1
    echo "$stamp" >"$TIVORA_XLSXWRITER_MINGW/.tivora-stamp"
    echo "libxlsxwriter for MinGW built in $(($(date +%s) - started)) s"
}
