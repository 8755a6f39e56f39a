#include "results/test_support.h"

#include "engine/timing.h"

namespace results::testing {

namespace {

// A trial on `line`: armed at `armedUs`, shown `foreperiodUs` later, answered `rtUs` after that.
void answer(engine::MeasurementState& s, int line, std::uint32_t programmedMs, engine::Microseconds armedUs,
            engine::Microseconds foreperiodUs, engine::Microseconds rtUs, engine::InputKind input,
            engine::ResponseSource stamp = engine::ResponseSource::Event)
{
    engine::TrialTiming& t = s.timing[static_cast<std::size_t>(line)];
    t.armed = true;
    t.programmedMs = programmedMs;
    t.armedAt = armedUs;
    t.answered = true;
    t.onset = {armedUs + foreperiodUs, engine::FrameSource::Server};
    t.response = {t.onset.time + rtUs, stamp, input};
    s.reactionTime[static_cast<std::size_t>(line)] = static_cast<std::uint32_t>(engine::roundToMilliseconds(rtUs));
}

} // namespace

engine::MeasurementState finishedTest()
{
    engine::MeasurementState s;
    answer(s, 0, 1000, 5000000, 1000600, 287000, engine::InputKind::Key);
    answer(s, 1, 3000, 6300000, 3000450, 312000, engine::InputKind::Left, engine::ResponseSource::Arrival);
    answer(s, 3, 2000, 10000000, 2000500, 254000, engine::InputKind::Right);
    answer(s, 4, 1000, 12300000, 1000700, 301000, engine::InputKind::Key);
    answer(s, 5, 1000, 13700000, 1000400, 266000, engine::InputKind::Middle);
    engine::TrialTiming& waiting = s.timing[6];
    waiting.answered = true;
    waiting.onset = s.timing[5].onset;
    waiting.response = {waiting.onset.time + 1499500, engine::ResponseSource::Event, engine::InputKind::Other};
    s.reactionTime[6] = 1500;
    s.prematureCount[1] = 2;
    s.prematureCount[4] = 1;
    s.seriesStart = 3;
    s.seriesCount = {1, 1, 0, 0};
    s.evaluatedSeries = 2;
    return s;
}

} // namespace results::testing
