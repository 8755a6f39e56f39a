#include "sync/test_tables.h"

#include "engine/evaluation.h"
#include "results/results_table.h"

#include <cstdio>
#include <string>

namespace collection::testing {

const char* const kFeedProgram = "2\r\n3\r\n1\r\n77 tivora2.rtf\r\n2\r\n3\r\n1\r\n4\r\n2\r\n3\r\n1\r\n2\r\n3\r\n2\r\n"
                                 "4\r\n1\r\n2\r\n3\r\n1\r\n2\r\n3\r\n1\r\n2\r\n3\r\n1\r\n2\r\n3\r\n1\r\n2\r\n3\r\n"
                                 "1\r\n2\r\n3\r\n1\r\n88 tivora3.rtf\r\n15\r\n15";

namespace {

// Answers every trial line of `program`: reaction times between 200 and 450 ms that depend on the
// station, the sequence and the line, foreperiods as programmed.
engine::MeasurementState answeredTest(const engine::TestProgram& program, int station, int sequence)
{
    engine::MeasurementState state;
    engine::nulovani(state);
    engine::Microseconds clock = 1000000;
    for (int i = 0; i < program.lineCount(); ++i) {
        const engine::LineKind kind = engine::lineKind(program.line(i));
        if (kind == engine::LineKind::StartMarker) {
            state.seriesStart = i + 1;
            continue;
        }
        if (kind == engine::LineKind::EndMarker) {
            state.endMarkerIndex = i;
            break;
        }
        const auto line = static_cast<std::size_t>(i);
        const auto seed = static_cast<engine::Microseconds>(station * 7919 + sequence * 104729 + i * 613);
        const engine::Microseconds rt = 200000 + (seed * 2654435761LL) % 250000;
        engine::TrialTiming& timing = state.timing[line];
        timing.armed = true;
        timing.programmedMs = static_cast<std::uint32_t>(std::stoi(program.line(i)) * 1000);
        timing.armedAt = clock;
        timing.answered = true;
        timing.onset = {clock + timing.programmedMs * 1000LL + 450, engine::FrameSource::Server};
        timing.response = {timing.onset.time + rt, engine::ResponseSource::Event, engine::InputKind::Key};
        state.reactionTime[line] = static_cast<std::uint32_t>(engine::roundToMilliseconds(rt));
        state.prematureCount[line] = (seed % 7 == 0) ? 1 : 0;
        clock = timing.response.time + 500000;
    }
    return state;
}

} // namespace

results::Identity subjectFor(int station, int sequence)
{
    char birth1[16];
    char birth2[16];
    std::snprintf(birth1, sizeof birth1, "%02d%02d%02d", 50 + station % 40, 1 + sequence % 12, 1 + sequence % 28);
    std::snprintf(birth2, sizeof birth2, "%04d", sequence % 10000);
    return {"Dvořák " + std::to_string(station), "Čeněk " + std::to_string(sequence), birth1, birth2, " 7.12.2026"};
}

void storeTest(const std::string& folder, int station, int sequence)
{
    const engine::TestProgram program(kFeedProgram);
    engine::MeasurementState state = answeredTest(program, station, sequence);
    storage::Dataset table;
    table.setDirectory(folder);
    results::configureResultsTable(table);
    table.setNoticeHandler([](const std::string&) {});
    const results::Identity subject = subjectFor(station, sequence);
    const engine::StoreResult store = results::makeResultStore(table, [subject] { return subject; });
    engine::vyhodnoceni(state, program, store);
}

} // namespace collection::testing
