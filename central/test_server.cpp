#include "central/test_server.h"

#include "central/migrations.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace central::testing {

namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";

// A port that nothing listens on now. Another program may take it before the server does; start() then
// fails and the caller tries another.
int freePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw DatabaseError("Cannot find a free port for the test server");
    }
    close(fd);
    return ntohs(address.sin_port);
}

bool runningAsRoot()
{
    return geteuid() == 0;
}

// The user postgres, which the server runs as when the tests run as root.
passwd* serverUser()
{
    passwd* user = getpwnam("postgres");
    if (!user) {
        throw DatabaseError("The tests run as root and there is no user postgres for the test server");
    }
    return user;
}

void giveToServerUser(const std::string& path)
{
    if (runningAsRoot()) {
        const passwd* user = serverUser();
        if (chown(path.c_str(), user->pw_uid, user->pw_gid) != 0) {
            throw DatabaseError("Cannot give " + path + " to the user postgres");
        }
    }
}

std::vector<std::string> asServerUser(std::vector<std::string> command)
{
    if (runningAsRoot()) {
        const std::string runuser
            = std::filesystem::exists("/usr/sbin/runuser") ? "/usr/sbin/runuser" : "/sbin/runuser";
        command.insert(command.begin(), {runuser, "-u", "postgres", "--"});
    }
    return command;
}

} // namespace

int runCommand(const std::vector<std::string>& command, std::string* output)
{
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        const int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, 0);
        dup2(fds[1], 1);
        dup2(fds[1], 2);
        std::vector<char*> argv;
        for (const std::string& part : command) {
            argv.push_back(const_cast<char*>(part.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) { }
    if (output) {
        *output = text;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Process::Process(const std::vector<std::string>& command, const std::string& output)
{
    m_pid = fork();
    if (m_pid == 0) {
        const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 1);
        dup2(fd, 2);
        std::vector<char*> argv;
        for (const std::string& part : command) {
            argv.push_back(const_cast<char*>(part.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
}

Process::~Process()
{
    if (m_pid > 0) {
        kill(SIGKILL);
    }
}

void Process::kill(int signal)
{
    if (m_pid > 0) {
        ::kill(m_pid, signal);
    }
    wait();
}

int Process::wait()
{
    int status = 0;
    if (m_pid > 0) {
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) { }
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return m_status;
}

bool Process::running()
{
    int status = 0;
    if (m_pid > 0 && waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return m_pid > 0;
}

TestServer::TestServer(const Options& options)
{
    char pattern[] = "/tmp/tivora_pg_XXXXXX";
    if (!mkdtemp(pattern)) {
        throw DatabaseError("Cannot create a folder for the test server");
    }
    m_folder = pattern;
    m_dataDir = m_folder + "/data";
    giveToServerUser(m_folder);
    startWatchdog();
    std::string output;
    if (runAsServerUser({kBin + "initdb", "-D", m_dataDir, "-U", "postgres", "--auth=trust", "-E", "UTF8",
                         "--locale=C.UTF-8", "-N"},
                        &output)
        != 0) {
        throw DatabaseError("initdb failed: " + output);
    }
    std::ofstream conf(m_dataDir + "/postgresql.conf", std::ios::app);
    conf << "listen_addresses = '127.0.0.1'\n"
         << "unix_socket_directories = ''\n"
         << "max_connections = " << options.maxConnections << "\n"
         << "fsync = " << (options.fsync ? "on" : "off") << "\n"
         << "synchronous_commit = " << (options.fsync ? "on" : "off") << "\n"
         << "full_page_writes = " << (options.fsync ? "on" : "off") << "\n";
    conf.close();
    for (int attempt = 0;; ++attempt) {
        m_port = freePort();
        try {
            start();
            break;
        } catch (const DatabaseError&) {
            if (attempt == 2) {
                throw;
            }
        }
    }
}

TestServer::~TestServer()
{
    if (m_running) {
        runAsServerUser({kBin + "pg_ctl", "-D", m_dataDir, "stop", "-m", "fast", "-w"});
    }
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
    if (m_watchdogFd >= 0) {
        close(m_watchdogFd);
    }
}

TestServer& TestServer::shared()
{
    static TestServer server;
    return server;
}

void TestServer::startWatchdog()
{
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw DatabaseError("Cannot start the test server's watchdog");
    }
    std::vector<std::string> command
        = {"/bin/sh", "-c", "cat >/dev/null; folder=$1; shift; \"$@\" >/dev/null 2>&1; rm -rf \"$folder\"", "watchdog",
           m_folder};
    for (const std::string& part : asServerUser({kBin + "pg_ctl", "-D", m_dataDir, "stop", "-m", "immediate"})) {
        command.push_back(part);
    }
    const pid_t pid = fork();
    if (pid == 0) {
        // Its own session: a test runner that kills the test program's process group leaves it alive to
        // clean up.
        setsid();
        dup2(fds[0], 0);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        dup2(devNull, 2);
        std::vector<char*> argv;
        for (const std::string& part : command) {
            argv.push_back(const_cast<char*>(part.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(fds[0]);
    m_watchdogFd = fds[1];
}

int TestServer::runAsServerUser(const std::vector<std::string>& command, std::string* output) const
{
    return runCommand(asServerUser(command), output);
}

std::string TestServer::log() const
{
    std::ifstream in(m_folder + "/server.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void TestServer::start()
{
    std::string output;
    const int status = runAsServerUser({kBin + "pg_ctl", "-D", m_dataDir, "-l", m_folder + "/server.log", "-w", "-t",
                                        "60", "-o", "-p " + std::to_string(m_port), "start"},
                                       &output);
    if (status != 0) {
        throw DatabaseError("The test server did not start: " + output + log());
    }
    m_running = true;
}

void TestServer::stop()
{
    std::string output;
    if (runAsServerUser({kBin + "pg_ctl", "-D", m_dataDir, "stop", "-m", "fast", "-w"}, &output) != 0) {
        throw DatabaseError("The test server did not stop: " + output);
    }
    m_running = false;
}

std::string TestServer::conninfo(const std::string& database, const std::string& user) const
{
    return "host=127.0.0.1 port=" + std::to_string(m_port) + " dbname=" + database + " user=" + user;
}

std::unique_ptr<Connection> TestServer::connect(const std::string& database, const std::string& user) const
{
    ConnectionSettings settings;
    settings.conninfo = conninfo(database, user);
    settings.applicationName = "tivora tests";
    return std::make_unique<Connection>(settings);
}

std::string TestServer::createDatabase(bool migrated)
{
    const std::string name = "tivora_" + std::to_string(++m_databases);
    connect("postgres")->exec("CREATE DATABASE " + name); // a name made here from a number, not from input
    if (migrated) {
        auto connection = connect(name);
        migrate(*connection);
    }
    return name;
}

void TestServer::addOffice(const std::string& database, const std::string& office, const std::string& role)
{
    auto connection = connect(database);
    if (connection->exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {role}).rows() == 0) {
        const Result create = connection->exec("SELECT format('CREATE ROLE %I LOGIN', $1::text)", {role});
        connection->run(create.text(0, 0));
    }
    connection->exec("SELECT tivora.add_office($1, $2)", {office, role});
}

void TestServer::enableTls(const std::string& certificateFile, const std::string& keyFile)
{
    for (const std::string& file : {certificateFile, keyFile}) {
        giveToServerUser(file);
        std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    }
    auto connection = connect("postgres");
    connection->exec("ALTER SYSTEM SET ssl = on");
    const Result cert
        = connection->exec("SELECT format('ALTER SYSTEM SET ssl_cert_file = %L', $1::text)", {certificateFile});
    connection->run(cert.text(0, 0));
    const Result key = connection->exec("SELECT format('ALTER SYSTEM SET ssl_key_file = %L', $1::text)", {keyFile});
    connection->run(key.text(0, 0));
    connection->exec("SELECT pg_reload_conf()");
    // The reload is asynchronous: wait until new connections see it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const Result now = connect("postgres")->exec("SELECT current_setting('ssl'), current_setting('ssl_cert_file')");
        if (now.text(0, 0) == "on" && now.text(0, 1) == certificateFile) {
            return;
        }
        usleep(50000);
    }
    throw DatabaseError("The test server did not turn TLS on: " + log());
}

} // namespace central::testing
