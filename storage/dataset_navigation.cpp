#include "storage/dataset.h"
#include "storage/errors.h"
#include "text/messages.h"

#include <utility>

// Navigation and windows of visible rows. Each step reads records one after the other from the
// current one, so a step costs the records it passes (the paged file reads ahead within a scan).
namespace storage {

bool Dataset::stepCurrent(int direction)
{
    if (m_current == 0) {
        return false;
    }
    const std::uint32_t found
        = m_table->seekVisible(direction > 0 ? m_current + 1 : m_current - 1, direction, m_scratch);
    if (found == 0) {
        return false;
    }
    m_current = found;
    std::swap(m_row, m_scratch);
    m_scratchRecord = 0;
    return true;
}

void Dataset::placeNear(std::uint32_t record)
{
    m_table->dropReadAhead();
    m_scratchRecord = 0;
    std::uint32_t found = m_table->seekVisible(record == 0 ? 1 : record, 1, m_row);
    if (found == 0 && record > 1) {
        found = m_table->seekVisible(record - 1, -1, m_row);
    }
    m_current = found;
    if (found == 0) {
        m_row = m_table->newRow();
        m_bof = m_eof = true;
    } else {
        m_bof = m_eof = false;
    }
}

void Dataset::first()
{
    requireOpen();
    settle();
    m_table->dropReadAhead();
    const std::uint32_t found = m_table->seekVisible(1, 1, m_scratch);
    m_current = found;
    if (found != 0) {
        std::swap(m_row, m_scratch);
    }
    m_scratchRecord = 0;
    m_bof = true;
    m_eof = found == 0;
    notify(DatasetEvent::PositionChanged);
}

void Dataset::last()
{
    requireOpen();
    settle();
    m_table->dropReadAhead();
    const std::uint32_t found = m_table->seekVisible(m_table->rowCount(), -1, m_scratch);
    m_current = found;
    if (found != 0) {
        std::swap(m_row, m_scratch);
    }
    m_scratchRecord = 0;
    m_eof = true;
    m_bof = found == 0;
    notify(DatasetEvent::PositionChanged);
}

void Dataset::next()
{
    moveBy(1);
}

void Dataset::prior()
{
    moveBy(-1);
}

int Dataset::moveBy(int rows)
{
    requireOpen();
    settle();
    int moved = 0;
    if (rows > 0) {
        while (moved < rows && stepCurrent(1)) {
            ++moved;
        }
        m_bof = m_current == 0;
        m_eof = moved < rows;
    } else if (rows < 0) {
        while (moved > rows && stepCurrent(-1)) {
            --moved;
        }
        m_eof = m_current == 0;
        m_bof = moved > rows;
    }
    notify(DatasetEvent::PositionChanged);
    return moved;
}

void Dataset::goToRecord(std::uint32_t record)
{
    requireOpen();
    settle();
    m_table->dropReadAhead();
    m_scratchRecord = 0;
    const bool live
        = record >= 1 && record <= m_table->refreshRowCount() && m_table->seekVisible(record, 1, m_scratch) == record;
    if (live) {
        m_current = record;
        std::swap(m_row, m_scratch);
        m_bof = m_eof = false;
    } else {
        placeNear(record);
    }
    notify(DatasetEvent::PositionChanged);
    if (!live) {
        throw StateError(text::formatMessage(messages::kRowDeleted, {m_name}));
    }
}

std::optional<Dataset::Position> Dataset::step(const Position& from, int direction)
{
    const bool inserting = m_state == DatasetState::Insert;
    const bool atEnd = inserting && m_insertBefore == 0;
    auto found = [this](std::uint32_t record) -> std::optional<Position> {
        m_scratchRecord = record;
        return record == 0 ? std::nullopt : std::optional<Position>(Position {record, false});
    };
    if (from.pending) {
        if (direction > 0) {
            return atEnd ? std::nullopt : std::optional<Position>(Position {m_insertBefore, false});
        }
        const std::uint32_t anchor = atEnd ? m_table->rowCount() + 1 : m_insertBefore;
        return found(m_table->seekVisible(anchor - 1, -1, m_scratch));
    }
    if (direction > 0) {
        const std::uint32_t next = m_table->seekVisible(from.record + 1, 1, m_scratch);
        // The new row shows just before the row that was current when it was started.
        const bool pendingNext
            = atEnd ? next == 0 : inserting && from.record < m_insertBefore && (next == 0 || next >= m_insertBefore);
        if (pendingNext) {
            m_scratchRecord = next;
            return Position {0, true};
        }
        return found(next);
    }
    if (inserting && !atEnd && from.record == m_insertBefore) {
        return Position {0, true};
    }
    return found(m_table->seekVisible(from.record - 1, -1, m_scratch));
}

std::vector<VisibleRow> Dataset::rowsAround(int offset, std::size_t maxCount)
{
    requireOpen();
    const bool inserting = m_state == DatasetState::Insert;
    if (!inserting && m_current == 0) {
        return {};
    }
    const Position current {inserting ? 0 : m_current, inserting};
    Position start = current;
    for (int i = 0; i != offset; i += offset > 0 ? 1 : -1) {
        const auto moved = step(start, offset > 0 ? 1 : -1);
        if (!moved) {
            break;
        }
        start = *moved;
    }
    std::vector<VisibleRow> rows;
    std::optional<Position> at = start;
    while (at && rows.size() < maxCount) {
        VisibleRow row;
        row.recordNumber = at->pending ? 0 : at->record;
        row.current = at->pending == current.pending && at->record == current.record;
        if (row.current) {
            row.values = decodeAll(m_row);
        } else {
            if (m_scratchRecord != at->record) {
                m_table->loadRow(at->record, m_scratch);
                m_scratchRecord = at->record;
            }
            row.values = decodeAll(m_scratch);
        }
        rows.push_back(std::move(row));
        at = step(*at, 1);
    }
    m_scratchRecord = 0;
    return rows;
}

} // namespace storage
