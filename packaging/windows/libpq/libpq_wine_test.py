#!/usr/bin/python3
"""The Windows build of libpq and OpenSSL, run under wine64, against a PostgreSQL 15 server started here on
Linux: libpq_smoke.exe connects without TLS and with TLS whose server certificate it checks
(sslmode=verify-full against a test certificate authority made here with the openssl program), and runs a
parameterised query; a server certificate of another authority, or for another host name, and a wrong
password are refused with libpq's own messages.

Before that, the DLLs of the build prefix must name no folder of the build machine: OpenSSL and libpq read
their configuration files from folders compiled in, and on a station a folder like \root\.cache\... may
be created by any user.

Usage: libpq_wine_test.py --program libpq_smoke.exe --prefix PQ_PREFIX --pg-bindir DIR -- WINE_RUN [ARG]...
Exit status 77 (skipped) when the machine has no PostgreSQL server."""

import argparse
import glob
import os
import pwd
import re
import shutil
import socket
import subprocess
import sys
import tempfile

PASSWORD = "heslo-42"
USER = "examiner"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def run(command, **kwargs):
    return subprocess.run(command, check=True, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          **kwargs)


class Server:
    """A PostgreSQL cluster in a temporary folder, with TLS on. The server refuses to run as root, so as root
    its commands run as the postgres user (as nobody where that is missing)."""

    def __init__(self, bindir):
        self.bindir = bindir
        self.folder = tempfile.mkdtemp(prefix="tivora-libpq-")
        self.data = os.path.join(self.folder, "data")
        self.as_user = []
        if os.geteuid() == 0:
            try:
                account = pwd.getpwnam("postgres")
            except KeyError:
                account = pwd.getpwnam("nobody")
            os.chown(self.folder, account.pw_uid, account.pw_gid)
            self.account = account
            self.as_user = ["setpriv", f"--reuid={account.pw_uid}", f"--regid={account.pw_gid}", "--clear-groups",
                            "--"]
        self.port = None
        self.started = False

    def command(self, program, *args):
        return run([*self.as_user, os.path.join(self.bindir, program), *args], cwd=self.folder)

    def own(self, path, mode):
        os.chmod(path, mode)
        if self.as_user:
            os.chown(path, self.account.pw_uid, self.account.pw_gid)

    def start(self, certificate, key):
        self.own(certificate, 0o644)
        self.own(key, 0o600)
        self.command("initdb", "-D", self.data, "-U", "postgres", "--auth-local=trust",
                     "--auth-host=scram-sha-256", "-E", "UTF8", "--locale=C", "--no-sync")
        # Another test may take the free port between the probe and the start: try a few.
        for _ in range(5):
            self.port = free_port()
            with open(os.path.join(self.data, "postgresql.auto.conf"), "w", encoding="utf-8") as conf:
                conf.write(f"port = {self.port}\nlisten_addresses = 'localhost'\n"
                           f"unix_socket_directories = '{self.folder}'\nfsync = off\n"
                           f"ssl = on\nssl_cert_file = '{certificate}'\nssl_key_file = '{key}'\n")
            try:
                self.command("pg_ctl", "-D", self.data, "-l", os.path.join(self.folder, "server.log"), "-w",
                             "-t", "60", "start")
                self.started = True
                break
            except subprocess.CalledProcessError:
                continue
        if not self.started:
            with open(os.path.join(self.folder, "server.log"), encoding="utf-8", errors="replace") as log:
                raise RuntimeError("the PostgreSQL server does not start:\n" + log.read())
        self.command("psql", "-X", "-h", self.folder, "-p", str(self.port), "-U", "postgres", "-d", "postgres",
                     "-v", "ON_ERROR_STOP=1", "-c", f"CREATE ROLE {USER} LOGIN PASSWORD '{PASSWORD}'")

    def stop(self):
        if self.started:
            self.command("pg_ctl", "-D", self.data, "-m", "fast", "-w", "stop")
        shutil.rmtree(self.folder, ignore_errors=True)


CONFIG = """[req]
distinguished_name = dn
prompt = no
[dn]
CN = unused
[ca]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = DNS:localhost
"""


def make_certificates(folder):
    """A test certificate authority, the server's certificate for localhost signed by it, and another
    authority that signed nothing here. Returns the paths of (authority, other authority, server
    certificate, server key)."""
    config = os.path.join(folder, "openssl.cnf")
    with open(config, "w", encoding="utf-8") as out:
        out.write(CONFIG)
    path = lambda name: os.path.join(folder, name)
    new_key = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    for name in ("ca", "other-ca"):
        run(["openssl", "req", "-config", config, "-x509", *new_key, "-days", "2", "-extensions", "ca",
             "-subj", f"/CN=Tivora {name} for tests", "-keyout", path(f"{name}.key"), "-out", path(f"{name}.crt")])
    run(["openssl", "req", "-config", config, "-new", *new_key, "-subj", "/CN=localhost",
         "-keyout", path("server.key"), "-out", path("server.csr")])
    run(["openssl", "x509", "-req", "-in", path("server.csr"), "-CA", path("ca.crt"), "-CAkey", path("ca.key"),
         "-set_serial", "1", "-days", "2", "-extfile", config, "-extensions", "server", "-out", path("server.crt")])
    return path("ca.crt"), path("other-ca.crt"), path("server.crt"), path("server.key")


def windows_path(path):
    """The path as a Windows program sees it on Wine's drive Z:. Forward slashes, which Windows takes too: a
    backslash in a connection string escapes the next character."""
    return "Z:" + path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--pg-bindir", required=True)
    parser.add_argument("wine_run", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    wine_run = [word for word in args.wine_run if word != "--"] + ["--"]
    build_folders = {os.path.abspath(args.prefix) + "/", os.path.realpath(args.prefix) + "/"}
    for dll in sorted(glob.glob(os.path.join(args.prefix, "bin", "*.dll"))):
        with open(dll, "rb") as binary:
            content = binary.read()
        for folder in build_folders:
            if folder.encode() in content:
                print(f"FAILED: {os.path.basename(dll)} names the build folder {folder}")
                return 1
    if not os.path.exists(os.path.join(args.pg_bindir, "initdb")):
        print(f"SKIPPED: no PostgreSQL server in {args.pg_bindir} (Debian's postgresql-15)")
        return 77

    server = Server(args.pg_bindir)
    try:
        ca, other_ca, certificate, key = make_certificates(server.folder)
        server.start(certificate, key)
        base = f"port={server.port} dbname=postgres user={USER} connect_timeout=20"
        verify = "sslmode=verify-full sslrootcert=" + windows_path(ca)
        # What each connection gives: the first line the program prints, or libpq's refusal.
        cases = [
            ("without TLS", f"host=127.0.0.1 {base} sslmode=disable", PASSWORD, r"^tls: off$"),
            ("TLS, server verified", f"host=localhost {base} {verify}", PASSWORD, r"^tls: on TLSv1\.3 \S+$"),
            ("TLS, server certificate of another authority",
             f"host=localhost {base} sslmode=verify-full sslrootcert={windows_path(other_ca)}", PASSWORD,
             r"^connection failed: .*certificate verify failed"),
            ("TLS, server certificate for another host name", f"host=127.0.0.1 {base} {verify}", PASSWORD,
             r'^connection failed: .*server certificate for "localhost".* does not match host name "127\.0\.0\.1"'),
            ("TLS, wrong password", f"host=localhost {base} {verify}", "wrong",
             rf'^connection failed: .*password authentication failed for user "{USER}"'),
        ]
        failed = 0
        for name, conninfo, password, expected in cases:
            env = dict(os.environ, PGPASSWORD=password)
            env.pop("DISPLAY", None)
            result = subprocess.run([*wine_run, args.program, conninfo], env=env, stdout=subprocess.PIPE,
                                    stderr=subprocess.PIPE, text=True, errors="replace", timeout=120)
            output = (result.stdout + result.stderr).replace("\r\n", "\n")
            refused = expected.startswith("^connection failed")
            good = re.search(expected, output, re.MULTILINE) is not None
            if refused:
                good = good and result.returncode == 1 and "answer:" not in output
            else:
                good = good and result.returncode == 0 and re.search(r"^answer: ok$", output, re.MULTILINE)
            first_line = output.strip().split("\n")[0]
            print(f"{'ok' if good else 'FAILED'}: {name}: {first_line}")
            if not good:
                failed += 1
                print("  expected " + expected + "\n  got:\n    " + output.strip().replace("\n", "\n    "))
        print(f"libpq under Wine: {len(cases) - failed} passed, {failed} failed")
        return 1 if failed else 0
    finally:
        server.stop()


if __name__ == "__main__":
    sys.exit(main())
