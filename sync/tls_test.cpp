// The collector over TLS with the office's own certificate authority (sslmode=verify-full): it collects
// from the server whose certificate that authority signed for the address it connects to, and refuses,
// with a message that says why and before anything is sent, a server that shows another certificate.
#include "central/test_server.h"
#include "storage/test_support.h"
#include "sync/collector.h"
#include "sync/test_tables.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace collection {
namespace {

using central::testing::runCommand;
using central::testing::TestServer;

// Makes a key and a certificate `name`.crt/.key in `dir` for `subjectAltName`, signed by `ca` (or
// self-signed when empty).
void certificate(const std::string& dir, const std::string& name, const std::string& altName, const std::string& ca)
{
    const std::string key = dir + name + ".key";
    const std::string crt = dir + name + ".crt";
    std::string output;
    const std::vector<std::string> keyed = {
        "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-subj", "/CN=" + name};
    std::vector<std::string> command = {"openssl", "req", "-x509", "-days", "2", "-out", crt};
    if (!ca.empty()) {
        command = {"openssl", "req", "-out", dir + name + ".csr"};
    }
    command.insert(command.end(), keyed.begin(), keyed.end());
    ASSERT_EQ(runCommand(command, &output), 0) << output;
    if (!ca.empty()) {
        std::ofstream(dir + name + ".ext") << "subjectAltName=" << altName << "\n";
        ASSERT_EQ(runCommand({"openssl", "x509", "-req", "-in", dir + name + ".csr", "-CA", dir + ca + ".crt", "-CAkey",
                              dir + ca + ".key", "-CAcreateserial", "-days", "2", "-out", crt, "-extfile",
                              dir + name + ".ext"},
                             &output),
                  0)
            << output;
    }
}

TEST(TlsTest, VerifyFullCollectsFromTheRightServerAndRefusesAnyOther)
{
    TestServer& server = TestServer::shared();
    const std::string database = server.createDatabase();
    server.addOffice(database, "Jihlava", "sync_jihlava");
    const std::string dir = server.folder() + "/";
    certificate(dir, "office-ca", "", "");
    certificate(dir, "rogue-ca", "", "");
    certificate(dir, "server", "IP:127.0.0.1,DNS:localhost", "office-ca");
    certificate(dir, "rogue", "IP:127.0.0.1", "rogue-ca");
    certificate(dir, "elsewhere", "DNS:db.example.org", "office-ca");
    // The key files are the server's; copies stay readable for the next certificate change.
    storage::testing::TempDir tables;
    const std::string folder = tables.path("stanice") + "/";
    std::filesystem::create_directories(folder);
    testing::storeTest(folder, 9, 1);

    CollectorSettings settings;
    settings.connection.conninfo = server.conninfo(database, "sync_jihlava");
    settings.connection.overrides = {{"sslmode", "verify-full"}, {"sslrootcert", dir + "office-ca.crt"}};
    settings.office = "Jihlava";
    settings.folders = {{"Stanice", folder}};
    std::vector<std::string> log;
    const auto collect = [&] {
        Collector collector(settings, [&](const std::string& line) { log.push_back(line); });
        return collector.collectOnce();
    };
    auto admin = server.connect(database);
    const auto tests = [&] { return admin->exec("SELECT count(*) FROM tivora.tests").integer(0, 0); };

    struct Case
    {
        const char* certificate;
        const char* refusal; // empty: collects
    };
    for (const Case& c : {Case {"rogue", "certificate verify failed"},
                          Case {"elsewhere", "does not match host name \"127.0.0.1\""}, Case {"server", ""}}) {
        std::filesystem::copy_file(dir + c.certificate + ".key", dir + c.certificate + ".server.key",
                                   std::filesystem::copy_options::overwrite_existing);
        server.enableTls(dir + c.certificate + ".crt", dir + c.certificate + ".server.key");
        log.clear();
        const bool collected = collect();
        if (*c.refusal) {
            EXPECT_FALSE(collected) << c.certificate;
            ASSERT_FALSE(log.empty()) << c.certificate;
            EXPECT_NE(log[0].find("Cannot connect to the database " + database + " on 127.0.0.1:"), std::string::npos)
                << log[0];
            EXPECT_NE(log[0].find(c.refusal), std::string::npos) << log[0];
            EXPECT_EQ(tests(), 0) << c.certificate;
        } else {
            EXPECT_TRUE(collected) << (log.empty() ? "" : log[0]);
            EXPECT_EQ(tests(), 1);
            EXPECT_TRUE(central::Connection(settings.connection).usesTls());
        }
    }
}

} // namespace
} // namespace collection
