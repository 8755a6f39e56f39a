#include "sync/config.h"

#include "sync/platform.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace collection {

namespace {

std::string trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

const char* const kTlsSettings[] = {"sslmode", "sslrootcert", "sslcert", "sslkey", "sslcrl"};

bool isTlsSetting(const std::string& key)
{
    for (const char* name : kTlsSettings) {
        if (key == name) {
            return true;
        }
    }
    return false;
}

} // namespace

CollectorSettings parseConfig(const std::string& text, const std::string& path)
{
    CollectorSettings settings;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    std::string station; // the section being read
    const auto fail
        = [&](const std::string& what) { throw ConfigError(path + ", line " + std::to_string(number) + ": " + what); };
    while (std::getline(lines, line)) {
        ++number;
        line = trim(line);
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || trim(line.substr(1, line.size() - 2)).empty()) {
                fail("a station's section is written [Station name]");
            }
            station = trim(line.substr(1, line.size() - 2));
            settings.folders.push_back({station, {}});
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos) {
            fail("a setting is written name = value");
        }
        const std::string key = trim(line.substr(0, equals));
        const std::string value = trim(line.substr(equals + 1));
        if (key == "password" || key == "passfile_password") {
            throw central::SettingError(path + ", line " + std::to_string(number)
                                        + ": a password is never taken from the configuration: give it in the "
                                          "password file (PGPASSFILE, "
                                        + platform::kPasswordFile + ") or in PGPASSWORD");
        }
        if (!station.empty()) {
            if (key != "folder") {
                fail("unknown setting '" + key + "' for a station (only folder)");
            }
            settings.folders.back().folder = value;
        } else if (key == "connection") {
            central::refusePassword(value, "in " + path);
            settings.connection.conninfo = value;
        } else if (key == "office") {
            settings.office = value;
        } else if (key == "poll_seconds") {
            double seconds = 0;
            std::istringstream in(value);
            if (!(in >> seconds) || !in.eof() || !(seconds >= 0.05 && seconds <= 3600)) {
                fail("poll_seconds must be a number of seconds from 0.05 to 3600");
            }
            settings.pollInterval = std::chrono::milliseconds(std::lround(seconds * 1000));
        } else if (isTlsSetting(key)) {
            settings.connection.overrides.emplace_back(key, value);
        } else {
            fail("unknown setting '" + key + "'");
        }
    }
    for (const FolderSettings& folder : settings.folders) {
        if (folder.folder.empty()) {
            throw ConfigError(path + ": the station [" + folder.station + "] has no folder");
        }
    }
    if (settings.office.empty()) {
        throw ConfigError(path + ": no office = ... (the office's name as the database knows it)");
    }
    return settings;
}

CollectorSettings readConfig(const std::string& path)
{
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in) {
        throw ConfigError("Cannot open file " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseConfig(text.str(), path);
}

} // namespace collection
