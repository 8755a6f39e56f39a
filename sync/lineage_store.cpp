#include "sync/lineage_store.h"

#include <algorithm>

// What the collector reads back of its office's lineages, its locks, and the identities it takes; the
// rows a pass adds are written in lineage_writes.cpp.
namespace collection {

namespace {

using central::ArrayParam;
using central::Digest;

Digest digestOf(const std::vector<unsigned char>& bytes)
{
    Digest digest {};
    if (bytes.size() != digest.size()) {
        throw central::DatabaseError("The database holds a digest of " + std::to_string(bytes.size())
                                     + " bytes where 32 were expected");
    }
    std::copy(bytes.begin(), bytes.end(), digest.begin());
    return digest;
}

std::string bytea(const Digest& digest)
{
    return central::byteaParam(digest.data(), digest.size());
}

} // namespace

LineageStore::LineageStore(central::Connection& db, int officeId)
    : m_db(db)
    , m_officeId(officeId)
    , m_office(std::to_string(officeId))
{ }

int LineageStore::officeId(central::Connection& db, const std::string& office)
{
    const central::Result found = db.exec("SELECT office_id FROM tivora.offices WHERE name = $1", {office});
    if (found.rows() == 0) {
        throw central::DatabaseError("The database knows no office '" + office
                                     + "': its administrator registers it with tivora-sync add-office");
    }
    return static_cast<int>(found.integer(0, 0));
}

int LineageStore::stationId(const std::string& name)
{
    m_db.exec("INSERT INTO tivora.stations (office_id, name) VALUES ($1, $2) ON CONFLICT DO NOTHING", {m_office, name});
    return static_cast<int>(
        m_db.exec("SELECT station_id FROM tivora.stations WHERE office_id = $1 AND name = $2", {m_office, name})
            .integer(0, 0));
}

void LineageStore::lockOffice()
{
    m_db.exec("SELECT pg_advisory_xact_lock(-1000 - $1::bigint)", {m_office});
}

void LineageStore::lockLineage(std::int64_t lineageId)
{
    m_db.exec("SELECT pg_advisory_xact_lock($1::bigint)", {std::to_string(lineageId)});
}

std::optional<std::int64_t> LineageStore::recognise(const std::vector<Digest>& samples,
                                                    const std::set<std::int64_t>& exclude)
{
    ArrayParam digests;
    for (const Digest& digest : samples) {
        digests.add(bytea(digest));
    }
    const central::Result found
        = m_db.exec("SELECT v.content_hash, t.lineage_id FROM tivora.versions v JOIN tivora.tests t ON t.test_id = "
                    "v.test_id WHERE v.office_id = $1 AND v.content_hash = ANY($2::bytea[]) GROUP BY 1, 2",
                    {m_office, digests.str()});
    std::map<std::string, std::set<std::int64_t>> lineagesOf;
    for (int row = 0; row < found.rows(); ++row) {
        lineagesOf[found.text(row, 0)].insert(found.integer(row, 1));
    }
    std::map<std::int64_t, int> score;
    for (const auto& [content, lineages] : lineagesOf) {
        if (lineages.size() == 1 && exclude.count(*lineages.begin()) == 0) {
            ++score[*lineages.begin()];
        }
    }
    std::optional<std::int64_t> best;
    for (const auto& [lineage, points] : score) {
        if (!best || points > score[*best]) {
            best = lineage;
        }
    }
    return best;
}

std::int64_t LineageStore::createLineage(const std::string& path)
{
    return m_db
        .exec("INSERT INTO tivora.lineages (office_id, first_path) VALUES ($1, $2) RETURNING lineage_id",
              {m_office, path})
        .integer(0, 0);
}

std::optional<PassHead> LineageStore::lastPass(std::int64_t lineageId)
{
    const central::Result last = m_db.exec("SELECT pass_no, epoch, records, timing_offset FROM tivora.passes "
                                           "WHERE lineage_id = $1 ORDER BY pass_no DESC LIMIT 1",
                                           {std::to_string(lineageId)});
    if (last.rows() == 0) {
        return std::nullopt;
    }
    return PassHead {static_cast<int>(last.integer(0, 0)), static_cast<int>(last.integer(0, 1)),
                     static_cast<std::uint32_t>(last.integer(0, 2)), static_cast<std::uint64_t>(last.integer(0, 3))};
}

LineageState LineageStore::load(std::int64_t lineageId, const PassHead& head)
{
    LineageState state;
    state.lineageId = lineageId;
    state.passNo = head.passNo;
    state.epoch = head.epoch;
    state.records = head.records;
    state.timingOffset = head.timingOffset;
    const central::Result rows = m_db.exec(
        "SELECT p.record_no, p.test_id, v.version_no, v.flag, v.content_hash, v.head_hash, v.lists_hash "
        "FROM tivora.positions p CROSS JOIN LATERAL (SELECT version_no, flag, content_hash, head_hash, lists_hash "
        "FROM tivora.versions w WHERE w.test_id = p.test_id ORDER BY version_no DESC LIMIT 1) v "
        "WHERE p.lineage_id = $1 AND p.epoch = $2 AND p.record_no <= $3 ORDER BY p.record_no",
        {std::to_string(lineageId), std::to_string(head.epoch), std::to_string(head.records)});
    for (int row = 0; row < rows.rows(); ++row) {
        if (rows.integer(row, 0) != row + 1) {
            throw central::DatabaseError("The positions of lineage " + std::to_string(lineageId)
                                         + " have a gap at record " + std::to_string(row + 1));
        }
        state.rows.push_back({rows.integer(row, 1), static_cast<int>(rows.integer(row, 2)),
                              static_cast<unsigned char>(rows.integer(row, 3)), digestOf(rows.bytes(row, 4)),
                              digestOf(rows.bytes(row, 5)), digestOf(rows.bytes(row, 6))});
    }
    if (state.rows.size() != head.records) {
        throw central::DatabaseError("Lineage " + std::to_string(lineageId) + " records " + std::to_string(head.records)
                                     + " positions but has " + std::to_string(state.rows.size()));
    }
    return state;
}

std::vector<KnownVersion> LineageStore::allVersions(std::int64_t lineageId)
{
    const central::Result rows
        = m_db.exec("SELECT v.test_id, v.version_no, v.flag, v.content_hash FROM tivora.versions v JOIN tivora.tests t "
                    "ON t.test_id = v.test_id WHERE t.lineage_id = $1 AND t.office_id = $2",
                    {std::to_string(lineageId), m_office});
    std::vector<KnownVersion> versions;
    for (int row = 0; row < rows.rows(); ++row) {
        versions.push_back({rows.integer(row, 0), static_cast<int>(rows.integer(row, 1)),
                            static_cast<unsigned char>(rows.integer(row, 2)), digestOf(rows.bytes(row, 3))});
    }
    return versions;
}

std::vector<std::int64_t> LineageStore::newTestIds(std::size_t count)
{
    std::vector<std::int64_t> ids;
    if (count == 0) {
        return ids;
    }
    const central::Result rows = m_db.exec(
        "SELECT nextval('tivora.tests_test_id_seq') FROM generate_series(1, $1::int)", {std::to_string(count)});
    for (int row = 0; row < rows.rows(); ++row) {
        ids.push_back(rows.integer(row, 0));
    }
    std::sort(ids.begin(), ids.end()); // in store order
    return ids;
}

std::map<Digest, int> LineageStore::maxOrdinals(const std::set<Digest>& contents)
{
    std::map<Digest, int> ordinals;
    if (contents.empty()) {
        return ordinals;
    }
    central::ByteaArrayParam digests; // binary: a whole table's digests in half the bytes, without parsing
    for (const Digest& digest : contents) {
        digests.add(digest.data(), digest.size());
    }
    const central::Result rows = m_db.exec("SELECT content_key, max(ordinal) FROM tivora.tests WHERE office_id = $1 "
                                           "AND content_key = ANY($2::bytea[]) GROUP BY 1",
                                           {m_office, digests.str()}, {false, true});
    for (int row = 0; row < rows.rows(); ++row) {
        ordinals[digestOf(rows.bytes(row, 0))] = static_cast<int>(rows.integer(row, 1));
    }
    return ordinals;
}

} // namespace collection
