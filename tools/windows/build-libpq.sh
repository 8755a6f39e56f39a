# Builds PostgreSQL's client library libpq, with TLS through OpenSSL, for x86_64-w64-mingw32 from Debian's
# source packages of the host's own versions, once, and keeps it in $TIVORA_PQ_MINGW. Sourced by
# tools/build-windows and tools/windows/test-windows, not run.
#
# Debian has neither for MinGW. OpenSSL's own build knows the mingw64 target, and PostgreSQL's configure
# knows the x86_64-w64-mingw32 host; of PostgreSQL only libpq and the two small libraries it links
# (src/port, src/common) are built. The sources are fetched the way tools/windows/build-qt.sh fetches Qt's.
#
# The prefix holds:
#   bin/     libpq.dll, libcrypto-3-x64.dll, libssl-3-x64.dll
#   lib/     libpq.dll.a, libcrypto.dll.a, libssl.dll.a (import libraries)
#   include/ libpq-fe.h and the other headers of Debian's libpq-dev but its internal ones; openssl/
#   SOURCES  the versions of the Debian source packages built
#   .tivora-pq-stamp  the host's versions and the options it was built for; written last

if ! declare -F fetch_debian_source >/dev/null; then
    . "$(dirname "${BASH_SOURCE[0]}")/build-qt.sh"
fi

TIVORA_PQ_MINGW="${TIVORA_PQ_MINGW:-$HOME/.cache/tivora/pq-mingw}"
TIVORA_PQ_HOST=x86_64-w64-mingw32
# OpenSSL: the shared libraries only (build_libs leaves out the command-line program). The tests would double
# the build, and the engines and the legacy provider are loaded by nothing here.
TIVORA_OPENSSL_OPTIONS=(mingw64 shared no-tests no-engine no-legacy no-module)
# The folders OpenSSL compiles in: its configuration file, which it reads when libpq starts TLS and which may
# load any DLL, and where engines and providers are loaded from by name. Configure would take them from the
# Linux prefix (\root\.cache\... on the station's current drive, which any user may create) and treats a
# Windows path as relative to it, so they are given to make: the folders of OpenSSL's own Windows builds,
# which only administrators may write.
TIVORA_OPENSSL_DIRS=("OPENSSLDIR=C:/Program Files/Common Files/SSL"
    "ENGINESDIR=C:/Program Files/OpenSSL/lib/engines-3" "MODULESDIR=C:/Program Files/OpenSSL/lib/ossl-modules")
# PostgreSQL: what libpq needs and nothing the server would.
TIVORA_PQ_OPTIONS=(--with-ssl=openssl --without-readline --without-zlib --without-icu --without-gssapi
    --without-ldap --disable-nls)
# libpq reads the system's service file (pg_service.conf, which names servers and their options) from a
# folder compiled in, which configure would derive from the prefix. For the same reason it is given to make:
# a folder of the installed program's.
TIVORA_PQ_DIRS=("sysconfdir=C:/Program Files/Tivora/etc/postgresql")

# Prints the host's OpenSSL and libpq versions (e.g. "3.0.19-1~deb12u2 15.18-0+deb12u1"), the versions the
# Windows libraries are built from.
host_pq_package_versions() {
    local ssl pq
    ssl="$(dpkg-query -W -f='${Version}' libssl-dev 2>/dev/null)" || ssl=""
    [ -n "$ssl" ] || ssl="$(dpkg-query -W -f='${Version}' openssl)" || return 1
    pq="$(dpkg-query -W -f='${Version}' libpq-dev)" || return 1
    [ -n "$ssl" ] && [ -n "$pq" ] || return 1
    echo "$ssl $pq"
}

# fetch_source_for WORK PACKAGE VERSION: fetches and unpacks into WORK/PACKAGE the source package PACKAGE
# of the host's VERSION, or, when the configured sources no longer offer it or cannot deliver it, the newest
# of the same release series that they can (3.0.x for OpenSSL 3.0.19, 15.x for PostgreSQL 15.18): the
# archive keeps only the latest update of a package, and a mirror may list a security update whose files it
# lacks. Prints the version fetched; fails when none of the series can be fetched.
fetch_source_for() {
    local work="$1" package="$2" version="$3" offered series candidate
    offered="$(debian_source_versions "$work" "$package")"
    series="${version#*:}"
    series="${series%-*}"
    series="${series%.*}."
    for candidate in $( (
        grep -xF -- "$version" <<<"$offered"
        grep -vxF -- "$version" <<<"$offered" | while read -r candidate; do
            case "${candidate#*:}" in "$series"*) echo "$candidate" ;; esac
        done | sort -r -V
    )); do
        if fetch_debian_source "$work" "$package" "$candidate" >&2; then
            [ "$candidate" = "$version" ] ||
                echo "build-libpq: $package $version cannot be fetched from the configured sources;" \
                    "built $candidate" >&2
            echo "$candidate"
            return 0
        fi
    done
    echo "build-libpq: the configured Debian sources deliver no $package $version nor of its series ${series%.}" >&2
    return 1
}

# Builds libcrypto and libssl from $1/openssl and installs them (headers, DLLs, import libraries) into $2.
build_openssl_mingw() {
    local source="$1/openssl" prefix="$2" log="$1/openssl.log"
    : >"$log"
    # Configured in the source tree itself, as OpenSSL's own builds are.
    (cd "$source" && nice -n 19 ./Configure "${TIVORA_OPENSSL_OPTIONS[@]}" \
        --cross-compile-prefix="$TIVORA_PQ_HOST-" --prefix="$prefix" --libdir=lib) >>"$log" 2>&1 &&
        nice -n 19 make -C "$source" -j "${TIVORA_PQ_JOBS:-2}" "${TIVORA_OPENSSL_DIRS[@]}" build_libs >>"$log" 2>&1 &&
        # install_dev: headers and import libraries; install_runtime_libs: the DLLs into bin/.
        make -C "$source" "${TIVORA_OPENSSL_DIRS[@]}" install_dev install_runtime_libs >>"$log" 2>&1 || {
        show_log_tail "$log"
        return 1
    }
}

# Prints the end of the build log $1 to the standard error, for a step that failed.
show_log_tail() {
    echo "build-libpq: failed; the end of $1:" >&2
    tail -n 40 "$1" >&2
}

# Builds libpq from $1/postgresql-15 (in $1/build-pq) against the OpenSSL in $2 and installs its headers,
# DLL and import library into $2.
build_libpq_mingw() {
    local source="$1/postgresql-15" build="$1/build-pq" prefix="$2"
    local log="$1/libpq.log"
    rm -rf "$build"
    mkdir -p "$build"
    : >"$log"
    # configure's link checks find OpenSSL in the prefix; the host's pkg-config must not answer for the
    # target.
    (cd "$build" && PKG_CONFIG=/bin/false nice -n 19 "$source/configure" --host="$TIVORA_PQ_HOST" \
        --prefix="$prefix" "${TIVORA_PQ_OPTIONS[@]}" \
        --with-includes="$prefix/include" --with-libraries="$prefix/lib") >>"$log" 2>&1 &&
        # libpq's makefile builds src/port, src/common and the generated headers it needs first.
        nice -n 19 make -C "$build/src/interfaces/libpq" -j "${TIVORA_PQ_JOBS:-2}" "${TIVORA_PQ_DIRS[@]}" \
            >>"$log" 2>&1 || {
        show_log_tail "$log"
        return 1
    }
    # The headers Debian's libpq-dev installs for clients (pg_config.h carries the version CMake's
    # FindPostgreSQL reads), the DLL and its import library.
    local include="$source/src/include" built="$build/src/include" libpq="$source/src/interfaces/libpq"
    mkdir -p "$prefix/include/libpq" "$prefix/bin" "$prefix/lib"
    install -m 644 "$libpq/libpq-fe.h" "$libpq/libpq-events.h" "$include/postgres_ext.h" \
        "$include/pg_config_manual.h" "$built/pg_config.h" "$built/pg_config_ext.h" "$built/pg_config_os.h" \
        "$prefix/include/" || return 1
    install -m 644 "$include/libpq/libpq-fs.h" "$prefix/include/libpq/" || return 1
    install -m 755 "$build/src/interfaces/libpq/libpq.dll" "$prefix/bin/" || return 1
    # PostgreSQL 15's makefiles name the import library libpq.a (--out-implib); it is installed under the
    # name MinGW gives import libraries, which CMake's FindPostgreSQL looks for first.
    install -m 644 "$build/src/interfaces/libpq/libpq.a" "$prefix/lib/libpq.dll.a" || return 1
}

# ensure_pq_mingw: makes sure $TIVORA_PQ_MINGW holds the Windows libpq and OpenSSL of the host's versions,
# built with today's options; builds them when not. Prints the time of each step.
ensure_pq_mingw() {
    local versions ssl_version pq_version ssl_source pq_source stamp work started step
    versions="$(host_pq_package_versions)" || {
        echo "build-libpq: the host's libssl-dev (or openssl) and libpq-dev are not installed" >&2
        return 1
    }
    read -r ssl_version pq_version <<<"$versions"
    stamp="$versions $(printf '%s ' "${TIVORA_OPENSSL_OPTIONS[@]}" "${TIVORA_OPENSSL_DIRS[@]}" \
        "${TIVORA_PQ_OPTIONS[@]}" "${TIVORA_PQ_DIRS[@]}" | md5sum | cut -c1-12)"
    if [ "$(cat "$TIVORA_PQ_MINGW/.tivora-pq-stamp" 2>/dev/null)" = "$stamp" ]; then
        echo "libpq and OpenSSL for MinGW ($(paste -sd, "$TIVORA_PQ_MINGW/SOURCES" | sed 's/,/, /g')):" \
            "cached in $TIVORA_PQ_MINGW"
        return 0
    fi
    work="$TIVORA_PQ_MINGW-work"
    mkdir -p "$work"
    started="$(date +%s)"
    echo "Building libpq $pq_version with OpenSSL $ssl_version for MinGW-w64 in $work"
    # Each step returns on failure, so that a broken build is never stamped (callers may run without set -e).
    # The prefix is emptied first: a half-installed OpenSSL must not be taken for the new one.
    rm -rf "$TIVORA_PQ_MINGW"
    step="$(date +%s)"
    ssl_source="$(fetch_source_for "$work" openssl "$ssl_version")" || return 1
    pq_source="$(fetch_source_for "$work" postgresql-15 "$pq_version")" || return 1
    echo "libpq for MinGW: sources fetched in $(($(date +%s) - step)) s"
    step="$(date +%s)"
    build_openssl_mingw "$work" "$TIVORA_PQ_MINGW" || return 1
    echo "libpq for MinGW: OpenSSL built in $(($(date +%s) - step)) s"
    step="$(date +%s)"
    build_libpq_mingw "$work" "$TIVORA_PQ_MINGW" || return 1
    echo "libpq for MinGW: libpq built in $(($(date +%s) - step)) s"
    printf 'openssl %s\npostgresql-15 %s\n' "$ssl_source" "$pq_source" >"$TIVORA_PQ_MINGW/SOURCES"
    echo "$stamp" >"$TIVORA_PQ_MINGW/.tivora-pq-stamp"
    echo "libpq for MinGW built in $(($(date +%s) - started)) s"
}
