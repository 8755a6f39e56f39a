#pragma once

#include "base/error.h"
#include "sync/collector.h"

#include <string>

// The collector's configuration file (/etc/tivora/sync.conf; on Windows %ProgramData%\Tivora\sync.conf), UTF-8,
// one setting per line, "#" starts a comment:
//
//   connection = host=db.example.org dbname=tivora user=tivora_brno   (a libpq connection string or URI)
//   sslmode = verify-full                                            (and sslrootcert, sslcert, sslkey, sslcrl)
//   office = Brno
//   poll_seconds = 1                                                 (the default)
//
//   [Stanice 1]                                                      (a station's name)
//   folder = /srv/tivora/stanice-1                                   (the folder of its results table)
//
// A password is refused wherever it stands: libpq takes it from its password file (PGPASSFILE, ~/.pgpass;
// on Windows %APPDATA%\postgresql\pgpass.conf) or from PGPASSWORD. Paths (the file's own, the folders) are
// UTF-8 on every system.
namespace collection {

// Reads the configuration at `path`. Throws ConfigError "<path>, line <n>: <what is wrong>", and
// central::SettingError for a password.
CollectorSettings readConfig(const std::string& path);

// The same from the text of a file named `path`.
CollectorSettings parseConfig(const std::string& text, const std::string& path);

class ConfigError : public base::Error
{
public:
    using base::Error::Error;
};

} // namespace collection
