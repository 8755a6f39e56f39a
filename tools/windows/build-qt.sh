# Builds Qt 6 for x86_64-w64-mingw32 from Debian's source package of the host's own Qt version, once, and
# keeps it in $TIVORA_QT_MINGW. Sourced by tools/build-windows, not run.
#
# Debian has no Qt for MinGW, but the host Qt's source package, the MinGW-w64 cross compilers and the
# host's Qt tools (moc, rcc, uic, through QT_HOST_PATH) are all that is needed. The source entry is
# derived from the machine's own configured Debian sources in a private apt configuration, so neither
# the repository nor the system's apt set-up names or changes a mirror.

# The qtbase features the programs do not use are left out: that halves the build.
TIVORA_QT_FEATURES=(
    -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_printsupport=ON -DFEATURE_testlib=ON
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF -DFEATURE_direct3d12=OFF
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_sql_sqlite=OFF -DFEATURE_sql_odbc=OFF
    -DFEATURE_androiddeployqt=OFF -DFEATURE_qmake=OFF -DFEATURE_designer=OFF
)

# Prints the version of the host's Qt (e.g. 6.4.2+dfsg-10), the version the Windows Qt is built from.
host_qt_package_version() {
    dpkg-query -W -f='${Version}' qt6-base-dev
}

# Writes deb-src twins of the machine's configured "deb" entries into the private apt directory $1.
derive_source_entries() {
    local apt_dir="$1" file
    mkdir -p "$apt_dir/sources.list.d"
    : >"$apt_dir/sources.list"
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' /etc/apt/sources.list >"$apt_dir/sources.list"
    fi
    for file in /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file" >"$apt_dir/sources.list.d/$(basename "$file")"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # deb822 stanzas: a stanza of binary packages becomes one of source packages.
        sed 's/^Types:.*\bdeb\b.*$/Types: deb-src/' "$file" >"$apt_dir/sources.list.d/$(basename "$file")"
    done
}

# use_private_apt WORK: points apt (APT_CONFIG) at a private configuration in WORK/apt whose sources are
# the deb-src twins of the machine's, and updates its lists. The caller unsets APT_CONFIG when done.
use_private_apt() {
    local apt_dir="$1/apt"
    derive_source_entries "$apt_dir"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    cat >"$apt_dir/apt.conf" <<EOF
Dir::Etc::sourcelist "$apt_dir/sources.list";
Dir::Etc::sourceparts "$apt_dir/sources.list.d";
Dir::State::Lists "$apt_dir/lists";
Dir::Cache "$apt_dir/cache";
APT::Sandbox::User "$(id -un)";
EOF
    export APT_CONFIG="$apt_dir/apt.conf"
    apt-get update -q
}

# debian_source_versions WORK PACKAGE: prints the versions of source package PACKAGE that the machine's
# configured Debian sources offer, one a line.
debian_source_versions() {
    local listed
    use_private_apt "$1" >/dev/null
    listed="$(apt-cache showsrc "$2" 2>/dev/null)"
    unset APT_CONFIG
    sed -n 's/^Version: //p' <<<"$listed"
}

# fetch_debian_source WORK PACKAGE VERSION: downloads source package PACKAGE of VERSION from the machine's
# configured Debian sources and unpacks it (with Debian's patches) into WORK/PACKAGE, once; prints nothing.
fetch_debian_source() {
    local work="$1" package="$2" version="$3"
    [ -f "$work/$package/.tivora-unpacked-$version" ] && return 0
    mkdir -p "$work/download"
    use_private_apt "$work" && (cd "$work/download" && apt-get source -q --download-only "$package=$version")
    local fetched=$?
    unset APT_CONFIG
    [ "$fetched" -eq 0 ] || return 1
    rm -rf "${work:?}/$package"
    # The file name carries the version without its epoch; older versions may lie beside it.
    local dsc="$work/download/${package}_${version#*:}.dsc"
    dpkg-source --no-check -x "$dsc" "$work/$package" || return 1
    touch "$work/$package/.tivora-unpacked-$version"
}

# Downloads and unpacks qtbase of version $2 into $1/qtbase (kept there by earlier builds); prints nothing.
fetch_qt_source() {
    local work="$1" version="$2"
    [ -f "$work/qtbase/.tivora-unpacked-$version" ] && return 0
    fetch_debian_source "$work" qt6-base "$version" || return 1
    rm -rf "$work/qtbase"
    mv "$work/qt6-base" "$work/qtbase"
}

# Mends in the unpacked source for the features chosen here; each is idempotent.
patch_qt_source() {
    local qtbase="$1"
    # The Windows print engine uses the DirectWrite font engine, which Gui builds only with Direct2D on.
    sed -i 's/^#\(.*\)if QT_CONFIG(directwrite)$/#\1if QT_CONFIG(directwrite) \&\& QT_CONFIG(direct2d)/' \
        "$qtbase/src/printsupport/platform/windows/qprintengine_win.cpp"
    # Debian's source leaves out the Wintab header (3rdparty/wintab): the windows platform plugin is built
    # without tablet support.
    local plugin="$qtbase/src/plugins/platforms/windows"
    sed -i 's/QT_CONFIG(tabletevent)/defined(TIVORA_QT_WINTAB)/' "$plugin"/*.cpp "$plugin"/*.h
    # The DirectWrite font database, too, is in Gui only with Direct2D.
    sed -i 's/^\(#.*\)QT_CONFIG(directwrite3)$/\1QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$plugin"/*.cpp "$plugin"/*.h
    # Qt 6.4 keeps dynamic OpenGL on without OpenGL; the plugin's dynamic-OpenGL code needs OpenGL.
    sed -i 's/^\(#.*\)QT_CONFIG(dynamicgl)$/\1QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' "$plugin"/*.cpp "$plugin"/*.h
    sed -i 's/CONDITION QT_FEATURE_tabletevent$/CONDITION QT_FEATURE_tabletevent AND EXISTS ${QtBase_SOURCE_DIR}\/src\/3rdparty\/wintab\/wintab.h/' \
        "$plugin/CMakeLists.txt"
}

# Builds qtbase in $1/build and installs it into $2. Slow (see packaging/WINDOWS.md); runs at the lowest
# priority with two jobs so the machine stays usable.
build_qt() {
    local work="$1" prefix="$2" toolchain="$3"
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    nice -n 19 cmake -S "$work/qtbase" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/cmake" \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DQT_BUILD_TOOLS_WHEN_CROSSCOMPILING=OFF "${launcher[@]}" "${TIVORA_QT_FEATURES[@]}" || return 1
    nice -n 19 cmake --build "$work/build" -j "${TIVORA_QT_JOBS:-2}" || return 1
    rm -rf "$prefix"
    cmake --install "$work/build" || return 1
}

# ensure_qt_mingw TOOLCHAIN: makes sure $TIVORA_QT_MINGW holds the Windows Qt of the host's version,
# built with today's feature list; builds it when not.
ensure_qt_mingw() {
    local toolchain="$1" version stamp work started
    version="$(host_qt_package_version)"
    stamp="$version $(printf '%s ' "${TIVORA_QT_FEATURES[@]}" | md5sum | cut -c1-12)"
    if [ "$(cat "$TIVORA_QT_MINGW/.tivora-qt-stamp" 2>/dev/null)" = "$stamp" ]; then
        echo "Qt for MinGW $version: cached in $TIVORA_QT_MINGW"
        return 0
    fi
    work="$TIVORA_QT_MINGW-work"
    mkdir -p "$work"
    started="$(date +%s)"
    echo "Building Qt $version for MinGW-w64 in $work (the first time takes long)"
    # Each step returns on failure, so that a broken Qt is never stamped as built (callers may run
    # without set -e).
    fetch_qt_source "$work" "$version" || return 1
    patch_qt_source "$work/qtbase" || return 1
    build_qt "$work" "$TIVORA_QT_MINGW" "$toolchain" || return 1
    echo "$stamp" >"$TIVORA_QT_MINGW/.tivora-qt-stamp"
    echo "Qt for MinGW built in $(($(date +%s) - started)) s"
}
