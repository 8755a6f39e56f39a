#pragma once

#include "audit/journal_entry.h"
#include "engine/evaluation.h"
#include "results/result_record.h"
#include "storage/dataset.h"
#include "ui/session/subject_source.h"

namespace ui {

// The identity the data window reports, as the results table stores it.
results::Identity subjectIdentity(const SubjectTexts& texts);

// The test window's store: builds the row from the measurement and from what `subject` reports at that
// moment (an empty identity while it is null), and stores it in `table`, journaled as `action`. Both must outlive the
// result; `subject` is read through the pointer each time, so it may be attached later. Throws as results::ulo_do_DBF()
// does.
engine::StoreResult makeTestWindowStore(storage::Dataset& table, SubjectSource* const& subject,
                                        audit::Action action = audit::Action::TestStored);

} // namespace ui
