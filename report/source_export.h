#pragma once

#include "report/export.h"
#include "report/test_source.h"

#include <string>

namespace report {

// Writes the tests of `source` that pass `filter` to `outputPath` in `options.format`, in the source's
// order. A source with places adds the columns "office" and "station" at the end of every line, so
// the columns of a table's export keep their places; problems name a table's tests by row ("row 7:
// ...") and the database's by test and office ("test 12 (Brno): row 7: ..."). The output is complete or
// not there at all, and never what is read. The change columns come from the source's audit journal
// (empty without one; a journal that cannot be read is a warning). Throws ReportError, Cancelled and what reading
// throws.
ExportSummary exportFrom(TestSource& source, const TestFilter& filter, const std::string& outputPath,
                         const ExportOptions& options, const TestSource::Progress& progress = {});

} // namespace report
