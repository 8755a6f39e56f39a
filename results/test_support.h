#pragma once

#include "engine/measurement_state.h"

// Helpers shared by the tests of the results contract (beside storage::testing's scratch folders and
// failing files).
namespace results::testing {

// A finished test with timing: practice on lines 0 and 1, the start marker on 2, series 1 on line 3 and
// series 2 on line 4, a measured trial beyond the series on line 5 and one timed against line 5's onset on
// line 6.
engine::MeasurementState finishedTest();

} // namespace results::testing
