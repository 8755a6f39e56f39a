#pragma once

#include "report/row_issue.h"
#include "report/statistics.h"
#include "report/stored_test.h"
#include "report/timing_record.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace report {

// How the stored mean of a series compares with the mean of its lists.
enum class MeanCheck {
    NotApplicable, // no trials, no stored mean, or the lists could not be read
    Matches,       // the stored mean is the lists' total over the stored count, rounded as the table stores it
    Differs,       // it is not (a row edited by hand, or damage)
    ShortTotal,    // it is what a total kept in 16 bits gives, as older program versions computed it
    NotPossible,   // the lists do not hold as many values as the stored count (a list cut, or edited)
};

struct AnalysisOptions
{
    Thresholds thresholds;
};

// The analysis of one series.
struct SeriesAnalysis
{
    int number = 0;       // 1..4
    bool present = false; // the row has this series: a positive stored count, values or premature responses
    bool valid = false;   // its lists were read; otherwise no statistic of it is given
    // The reaction times the statistics use, in ms: the finer values of the timing record where it
    // matched the row, else the stored whole milliseconds.
    std::vector<double> rtMs;
    std::vector<std::uint32_t> storedMs; // as the table holds them
    bool fullWidth = false;              // list B fills its field
    Statistics stats;
    MeanCheck meanCheck = MeanCheck::NotApplicable;
};

// Everything the report says about one stored test.
struct TestAnalysis
{
    std::array<SeriesAnalysis, kSeriesCount> series;
    // The whole measured block: the series in order as one sample; premature is the sum of the series'.
    // Not given (`allValid` false) when a present series could not be read.
    Statistics all;
    bool allValid = false;
    std::vector<RowIssue> issues; // those found while reading, then decoding and checking
    // The timing record matched the row; `fineTrials` then holds its trials, series by series.
    bool fineValues = false;
    TimingSeries fineTrials;

    bool hasErrors() const { return hasError(issues); }
};

// Decodes the lists of `test`, checks them against the stored counts and means, and computes the
// statistics per series and for the whole block. With `timing`, the finer reaction times of a test of
// the timing record that matches the row are used; a test of the row that cannot be used is a warning
// in `issues`. Never throws for anything in the row; throws
// ReportError when the timing record can no longer be read.
TestAnalysis analyse(const StoredTest& test, const AnalysisOptions& options, const TimingLookup* timing = nullptr);

} // namespace report
