#include "sync/lineage_store.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <sstream>

// What a pass adds: its tests, their versions and positions, trials, events and the pass row itself.
namespace collection {

namespace {

using central::ArrayParam;

// Rows per statement when many are added at once: large enough to cost one round trip per thousand
// rows, small enough to keep a statement's parameters at a few megabytes.
constexpr std::size_t kBatch = 1000;

// A JSON array of strings, for a row's issues (turned into text[] by the server).
std::string jsonStrings(const std::vector<std::string>& texts)
{
    std::string json = "[";
    for (const std::string& text : texts) {
        if (json.size() > 1) {
            json += ',';
        }
        json += '"';
        for (const char c : text) {
            if (c == '"' || c == '\\') {
                json += '\\';
                json += c;
            } else if (static_cast<unsigned char>(c) < 0x20U) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                json += escaped;
            } else {
                json += c;
            }
        }
        json += '"';
    }
    return json + "]";
}

void addValue(ArrayParam& array, const storage::FieldValue& value)
{
    if (const auto* text = std::get_if<std::string>(&value)) {
        array.add(*text);
    } else if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        array.add(*whole);
    } else if (const auto* number = std::get_if<double>(&value)) {
        array.add(*number);
    } else {
        array.addNull();
    }
}

// A whole number for a count column: a floating-point value in an integer field that is not whole is
// left out (the report does the same).
void addWhole(ArrayParam& array, const storage::FieldValue& value)
{
    if (const auto* whole = std::get_if<std::int64_t>(&value)) {
        array.add(*whole);
    } else if (const auto* number = std::get_if<double>(&value);
               number && *number == static_cast<double>(static_cast<std::int64_t>(*number))) {
        array.add(static_cast<std::int64_t>(*number));
    } else {
        array.addNull();
    }
}

// The arrays $first, $first + 1, ... of `types` side by side, as the rows of a subquery u with the columns
// `names` (both lists separated by spaces). unnest() in the select list hands its rows on one at a time; in
// FROM it would first copy them all into a tuple store (written to disk beyond work_mem).
std::string rowsOf(int first, const std::string& types, const std::string& names)
{
    std::istringstream typeList(types), nameList(names);
    std::string type, name, select;
    for (int param = first; typeList >> type && nameList >> name; ++param) {
        select += (select.empty() ? "" : ", ") + ("unnest($" + std::to_string(param) + "::" + type + "[]) AS " + name);
    }
    return "(SELECT " + select + ") AS u";
}

const std::string kInsertVersions
    = "INSERT INTO tivora.versions (test_id, version_no, office_id, lineage_id, pass_no, record_no, flag, deleted, "
      "content_hash, head_hash, lists_hash, raw, surname, first_name, rc_1, rc_2, date_text, birth_key, test_date, "
      "count_1, count_2, count_3, count_4, mean_1, mean_2, mean_3, mean_4, premature_1, premature_2, premature_3, "
      "premature_4, ser1a, ser1b, ser2a, ser2b, ser3a, ser3b, ser4a, ser4b, issues, has_error) "
      "SELECT u.t, u.v, $1, $2, $3, u.r, u.f, u.f = 42, u.ch, u.hh, u.lh, u.raw, u.f0, u.f1, u.f2, u.f3, u.f4, u.bk, "
      "u.d, u.f5, u.f6, u.f7, u.f8, u.f9, u.f10, u.f11, u.f12, u.f13, u.f14, u.f15, u.f16, u.f17, u.f18, u.f19, u.f20, "
      "u.f21, u.f22, u.f23, u.f24, CASE WHEN u.iss IS NULL THEN '{}'::text[] ELSE "
      "ARRAY(SELECT jsonb_array_elements_text(u.iss::jsonb)) END, u.err FROM "
    + rowsOf(4,
             "bigint int int smallint bytea bytea bytea bytea text text text text text text date bigint bigint bigint "
             "bigint float8 float8 float8 float8 bigint bigint bigint bigint text text text text text text text text "
             "text bool",
             "t v r f ch hh lh raw f0 f1 f2 f3 f4 bk d f5 f6 f7 f8 f9 f10 f11 f12 f13 f14 f15 f16 f17 f18 f19 f20 "
             "f21 f22 f23 f24 iss err");

// The parameters of one statement adding `count` versions from `rows` (decoded by `decode`).
std::pair<std::vector<central::Param>, std::vector<bool>> versionBatch(const std::vector<central::Param>& head,
                                                                       const VersionRow* rows, std::size_t count,
                                                                       const DecodeRecord& decode)
{
    // The digests and the record's bytes ($8 to $11) travel in binary form: most of a version's bytes.
    std::vector<ArrayParam> arrays(37);
    std::vector<central::ByteaArrayParam> bytes(4);
    for (std::size_t i = 0; i < count; ++i) {
        const VersionRow& row = rows[i];
        const DecodedRecord& d = decode(row.image->record);
        arrays[0].add(row.testId);
        arrays[1].add(static_cast<std::int64_t>(row.versionNo));
        arrays[2].add(static_cast<std::int64_t>(row.image->record));
        arrays[3].add(static_cast<std::int64_t>(row.image->flag));
        bytes[0].add(row.image->content.data(), row.image->content.size());
        bytes[1].add(row.image->head.data(), row.image->head.size());
        bytes[2].add(row.image->lists.data(), row.image->lists.size());
        bytes[3].add(row.image->bytes.data(), row.image->bytes.size());
        for (std::size_t f = 0; f < 5; ++f) {
            addValue(arrays[8 + f], d.values[f]);
        }
        arrays[13].add(d.birthKey);
        if (d.date) {
            char date[16];
            std::snprintf(date, sizeof date, "%04d-%02d-%02d", d.date->year, d.date->month, d.date->day);
            arrays[14].add(std::string(date));
        } else {
            arrays[14].addNull();
        }
        for (std::size_t f = 5; f < 25; ++f) {
            if (f >= 9 && f <= 12) {
                addValue(arrays[10 + f], d.values[f]); // means: any number
            } else if (f < 17) {
                addWhole(arrays[10 + f], d.values[f]);
            } else {
                addValue(arrays[10 + f], d.values[f]);
            }
        }
        if (d.issues.empty()) {
            arrays[35].addNull();
        } else {
            arrays[35].add(jsonStrings(d.issues));
        }
        arrays[36].add(d.hasError);
    }
    std::vector<central::Param> params = head;
    std::vector<bool> binary(params.size() + arrays.size(), false);
    for (std::size_t i = 0; i < arrays.size(); ++i) {
        if (i >= 4 && i < 8) {
            params.push_back(bytes[i - 4].str());
            binary[params.size() - 1] = true;
        } else {
            params.push_back(arrays[i].str());
        }
    }
    return {params, binary};
}

} // namespace

void LineageStore::insertTests(std::int64_t lineageId, int stationId, const std::vector<NewTest>& tests)
{
    for (std::size_t start = 0; start < tests.size(); start += kBatch) {
        ArrayParam ids, ordinals;
        central::ByteaArrayParam keys;
        for (std::size_t i = start; i < tests.size() && i < start + kBatch; ++i) {
            ids.add(tests[i].testId);
            keys.add(tests[i].content.data(), tests[i].content.size());
            ordinals.add(static_cast<std::int64_t>(tests[i].ordinal));
        }
        m_db.exec(
            "INSERT INTO tivora.tests (test_id, office_id, content_key, ordinal, lineage_id, station_id) "
            "SELECT u.i, $1, u.k, u.o, $2, $3 FROM "
                + rowsOf(4, "bigint bytea int", "i k o"),
            {m_office, std::to_string(lineageId), std::to_string(stationId), ids.str(), keys.str(), ordinals.str()},
            {false, false, false, false, true, false});
    }
}

void LineageStore::insertVersions(std::int64_t lineageId, int passNo, const std::vector<VersionRow>& versions,
                                  const DecodeRecord& decode)
{
    // Each batch is prepared (the records decoded) while the server adds the one before.
    const std::vector<central::Param> head = {m_office, std::to_string(lineageId), std::to_string(passNo)};
    bool pending = false;
    try {
        for (std::size_t start = 0; start < versions.size(); start += kBatch) {
            const auto [params, binary]
                = versionBatch(head, versions.data() + start, std::min(kBatch, versions.size() - start), decode);
            if (pending) {
                pending = false;
                m_db.finish();
            }
            m_db.send(kInsertVersions, params, binary);
            pending = true;
        }
        if (pending) {
            pending = false;
            m_db.finish();
        }
    } catch (...) {
        if (pending) {
            try {
                m_db.finish(); // the connection must be free for the rollback
            } catch (const central::DatabaseError&) {
                // The first failure is the one to report.
            }
        }
        throw;
    }
}

void LineageStore::insertPositions(std::int64_t lineageId, int epoch, int passNo, std::uint32_t firstRecord,
                                   const std::vector<std::int64_t>& testIds)
{
    for (std::size_t start = 0; start < testIds.size(); start += kBatch) {
        ArrayParam records, tests;
        for (std::size_t i = start; i < testIds.size() && i < start + kBatch; ++i) {
            records.add(static_cast<std::int64_t>(firstRecord + i));
            tests.add(testIds[i]);
        }
        m_db.exec("INSERT INTO tivora.positions (lineage_id, epoch, record_no, office_id, test_id, pass_no) "
                  "SELECT $1, $2, u.r, $3, u.t, $4 FROM "
                      + rowsOf(5, "int bigint", "r t"),
                  {std::to_string(lineageId), std::to_string(epoch), m_office, std::to_string(passNo), records.str(),
                   tests.str()});
    }
}

void LineageStore::insertTrials(const std::vector<TrialRows>& trials)
{
    constexpr std::size_t kColumns = 15;
    std::vector<ArrayParam> arrays(kColumns);
    const auto flush = [&]() {
        if (arrays[0].size() == 0) {
            return;
        }
        std::vector<central::Param> params = {m_office};
        for (const ArrayParam& array : arrays) {
            params.push_back(array.str());
        }
        m_db.exec(
            "INSERT INTO tivora.trials (test_id, line, office_id, test_time, block, series, "
            "foreperiod_programmed_ms, foreperiod_measured_us, onset_us, response_us, rt_us, rt_stored_ms, "
            "premature, input, response_stamp, onset_stamp) "
            "SELECT u.t, u.l, $1, u.tt, u.b, u.s, u.fp, u.fm, u.o, u.r, u.rt, u.rs, u.p, u.i, u.rst, u.ost "
            "FROM "
                + rowsOf(
                    2, "bigint int text text smallint bigint bigint bigint bigint bigint bigint bigint text text text",
                    "t l tt b s fp fm o r rt rs p i rst ost")
                + " ON CONFLICT DO NOTHING",
            params);
        arrays.assign(kColumns, ArrayParam());
    };
    // A column that is not a whole number is NULL; the line as written is the timing record's.
    const auto whole = [](ArrayParam& array, const std::string& text) {
        std::int64_t value = 0;
        const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
        if (!text.empty() && parsed.ec == std::errc() && parsed.ptr == text.data() + text.size()) {
            array.add(value);
        } else {
            array.addNull();
        }
    };
    for (const TrialRows& rows : trials) {
        for (const TimingLine& line : rows.group->lines) {
            arrays[0].add(rows.testId);
            whole(arrays[1], line.line);
            arrays[2].add(line.testTime);
            arrays[3].add(line.block);
            whole(arrays[4], line.series);
            whole(arrays[5], line.foreperiodProgrammedMs);
            whole(arrays[6], line.foreperiodMeasuredUs);
            whole(arrays[7], line.onsetUs);
            whole(arrays[8], line.responseUs);
            whole(arrays[9], line.rtUs);
            whole(arrays[10], line.rtStoredMs);
            whole(arrays[11], line.premature);
            arrays[12].add(line.input);
            arrays[13].add(line.responseStamp);
            arrays[14].add(line.onsetStamp);
            if (arrays[0].size() >= kBatch * 8) {
                flush();
            }
        }
    }
    flush();
}

void LineageStore::insertEvents(std::int64_t lineageId, int passNo, const std::vector<PlannedEvent>& events)
{
    for (std::size_t start = 0; start < events.size(); start += kBatch) {
        ArrayParam seqs, kinds, records, tests, details;
        for (std::size_t i = start; i < events.size() && i < start + kBatch; ++i) {
            seqs.add(static_cast<std::int64_t>(i + 1));
            kinds.add(events[i].kind);
            records.add(events[i].record ? std::optional<std::int64_t>(events[i].record) : std::nullopt);
            tests.add(events[i].testId ? std::optional<std::int64_t>(events[i].testId) : std::nullopt);
            details.add(events[i].detail);
        }
        m_db.exec("INSERT INTO tivora.events (lineage_id, pass_no, seq, office_id, kind, record_no, test_id, detail) "
                  "SELECT $1, $2, u.s, $3, u.k, u.r, u.t, u.d "
                  "FROM "
                      + rowsOf(4, "int text int bigint text", "s k r t d"),
                  {std::to_string(lineageId), std::to_string(passNo), m_office, seqs.str(), kinds.str(), records.str(),
                   tests.str(), details.str()});
    }
}

void LineageStore::insertPass(const PassRow& pass)
{
    m_db.exec("INSERT INTO tivora.passes (lineage_id, pass_no, office_id, epoch, records, file_size, header, "
              "timing_offset, station_id, path, collector_host) VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11)",
              {std::to_string(pass.lineageId), std::to_string(pass.passNo), m_office, std::to_string(pass.epoch),
               std::to_string(pass.records), std::to_string(pass.fileSize), central::byteaParam(pass.header),
               std::to_string(pass.timingOffset), std::to_string(pass.stationId), pass.path, pass.host});
}

} // namespace collection
