# Shared by the set-up scripts: installs the Debian packages Tivora needs when they are missing.
# Sourced, not run.

TIVORA_BUILD_PACKAGES="cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  zlib1g-dev"
# The X server's frame and input stamps (DAMAGE, SYNC); pkgconf also answers as pkg-config.
TIVORA_BUILD_PACKAGES="$TIVORA_BUILD_PACKAGES pkgconf libxcb1-dev libxcb-sync-dev libxcb-damage0-dev"
# The collector and the central database's layer: libpq (its headers bring OpenSSL's for the digests).
TIVORA_BUILD_PACKAGES="$TIVORA_BUILD_PACKAGES libpq-dev libssl-dev"
TIVORA_TEST_PACKAGES="libgtest-dev libgmock-dev libbenchmark-dev libshp-dev clang clang-format libclang-rt-14-dev
  g++-mingw-w64-x86-64-posix xvfb xauth xdotool x11-utils imagemagick python3 python3-dbfread gdal-bin
  python3-openpyxl poppler-utils"
# The timing probe speaks DAMAGE, RECORD and XTEST.
TIVORA_TEST_PACKAGES="$TIVORA_TEST_PACKAGES python3-xlib"
# The central database's tests start a real PostgreSQL 15 server of their own (and pgbench, psql, openssl).
TIVORA_TEST_PACKAGES="$TIVORA_TEST_PACKAGES postgresql-15 postgresql-client-15 openssl"
# Builds of the test run are cached across runs and checkouts.
TIVORA_TEST_PACKAGES="$TIVORA_TEST_PACKAGES ccache"

# ensure_packages PACKAGE...: installs those not yet installed, with apt-get as root or through sudo.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ "${#missing[@]}" -eq 0 ] && return 0
    echo "Installing Debian packages: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q
    $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Build trees live outside the source tree.
TIVORA_CACHE="${XDG_CACHE_HOME:-$HOME/.cache}/tivora"

# tools/build-deb: CPack's Debian generator finds the programs' libraries with dpkg-shlibdeps and file.
TIVORA_PACKAGING_PACKAGES="dpkg-dev file"
# The checks of the package: lintian, the desktop entry's and the AppStream metadata's validators.
TIVORA_TEST_PACKAGES="$TIVORA_TEST_PACKAGES $TIVORA_PACKAGING_PACKAGES lintian desktop-file-utils appstream"
# The Windows tests run under Wine, with GoogleTest built from Debian's source of it.
# The report program links zlib (libz-mingw-w64-dev).
TIVORA_WINDOWS_TEST_PACKAGES="g++-mingw-w64-x86-64-posix wine wine64 googletest util-linux nsis zip
  libz-mingw-w64-dev"
# The Windows build (tools/build-windows): Qt's source package is unpacked and built, then packaged.
TIVORA_WINDOWS_PACKAGES="$TIVORA_WINDOWS_TEST_PACKAGES dpkg-dev perl"
# libpq and OpenSSL for MinGW (tools/windows/build-libpq.sh) are built from the source packages of the host's
# libpq-dev and libssl-dev; their test under Wine talks to a PostgreSQL 15 server on the Linux side, with
# certificates made by the openssl program.
TIVORA_WINDOWS_PACKAGES="$TIVORA_WINDOWS_PACKAGES make libpq-dev libssl-dev openssl postgresql-15"
# The Windows Qt is kept outside every build tree; CI on the same machine reuses it.
TIVORA_QT_MINGW="${TIVORA_QT_MINGW:-$HOME/.cache/tivora/qt-mingw}"

# own_build_dir DIR: a build tree in the cache that another checkout configured is of no use here (CMake
# refuses to configure it, and building it would build the other checkout's sources); it is removed.
own_build_dir() {
    local cache="$1/CMakeCache.txt"
    [ -f "$cache" ] || return 0
    local home
    home="$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$cache")"
    if [ "$home" != "$source_dir" ]; then
        echo "Removing $1: it was configured for $home, not for $source_dir"
        rm -rf "$1"
    fi
}
