#pragma once

#include "central/pg.h"

#include <memory>
#include <string>
#include <vector>

// A real PostgreSQL server for the tests: Debian's PostgreSQL 15 in a temporary folder, listening on a
// free loopback port, started with pg_ctl and stopped with pg_ctl (never by killing processes by name).
// The server refuses to run as root, so when the tests run as root it runs as the user postgres. A
// watchdog process stops it and removes the folder should the test program die without doing so.
namespace central::testing {

class TestServer
{
public:
    struct Options
    {
        bool fsync = false; // off for the tests' speed; benchmarks turn it on
        int maxConnections = 60;
    };

    // Creates the cluster and starts the server. Throws DatabaseError naming the step that failed, with
    // the server's log.
    explicit TestServer(const Options& options);
    TestServer()
        : TestServer(Options {})
    { }
    // Stops the server and removes its folder.
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // The server of this test program, started at the first call and stopped when the program ends.
    static TestServer& shared();

    int port() const { return m_port; }
    // A connection string for `database` as `user` over TCP on the loopback address (the server trusts
    // local connections, so no password is needed).
    std::string conninfo(const std::string& database, const std::string& user = "postgres") const;
    // A connection as the superuser.
    std::unique_ptr<Connection> connect(const std::string& database, const std::string& user = "postgres") const;

    // Creates an empty database with a name not used before in this run ("tivora_3") and returns the
    // name. With `migrated`, the collection's schema is applied to it.
    std::string createDatabase(bool migrated = true);
    // Creates the login role `role` (if missing) and registers `office` with it as its collector.
    void addOffice(const std::string& database, const std::string& office, const std::string& role);

    // Stops the server (pg_ctl stop, fast) and starts it again on the same port and folder.
    void stop();
    void start();
    bool running() const { return m_running; }

    // Turns TLS on with the certificate and key files given (PEM), and reloads the configuration.
    void enableTls(const std::string& certificateFile, const std::string& keyFile);

    // The folder of the server's files; a test may put certificates there.
    const std::string& folder() const { return m_folder; }

private:
    // Runs a PostgreSQL program (as the user postgres when this process is root); returns its exit status.
    int runAsServerUser(const std::vector<std::string>& command, std::string* output = nullptr) const;
    void startWatchdog();
    std::string log() const;

    std::string m_folder;
    std::string m_dataDir;
    int m_port = 0;
    bool m_running = false;
    int m_watchdogFd = -1;
    int m_databases = 0;
};

// Runs `command` (no shell) and returns its exit status, or 128 + the signal that ended it; its output
// and errors go to `output` when given.
int runCommand(const std::vector<std::string>& command, std::string* output = nullptr);

// A program run in the background (no shell), its output and errors written to the file `output`. Killed
// with SIGKILL at destruction if still running.
class Process
{
public:
    Process(const std::vector<std::string>& command, const std::string& output);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Sends `signal` and waits for the end.
    void kill(int signal);
    // Waits for the end; returns the exit status, or 128 + the signal that ended it.
    int wait();
    bool running();

private:
    int m_pid = -1;
    int m_status = -1;
};

} // namespace central::testing
