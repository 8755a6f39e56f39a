#pragma once

#include "ui/station/station_check.h"

#include <QString>

namespace ui {

// The test folder a self-test is stored in: `given` (the folder on the command line) when not empty, else
// the current folder, else the test folder chosen last in Tivora; only a folder that holds the results
// table counts, so a run elsewhere stores nothing. Empty when there is none.
QString selfTestFolder(const QString& given);

// Appends the run to the stations' log beside the results table of selfTestFolder(`given`) (see
// results/station_log.h), with the local time and the computer's host name. A failure is named on the
// error stream ("tivora: the self-test could not be stored: ..."); never throws.
void storeSelfTest(const QString& given, const StationMeasurement& measurement, const StationVerdict& verdict);

} // namespace ui
