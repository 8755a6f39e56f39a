#include "ui/session/result_store.h"

#include "results/results_table.h"

namespace ui {

results::Identity subjectIdentity(const SubjectTexts& texts)
{
    results::Identity identity;
    identity.surname = texts.surname.toStdString();
    identity.firstName = texts.firstName.toStdString();
    identity.birthNumber1 = texts.birthNumber1.toStdString();
    identity.birthNumber2 = texts.birthNumber2.toStdString();
    identity.date = texts.date.toStdString();
    return identity;
}

engine::StoreResult makeTestWindowStore(storage::Dataset& table, SubjectSource* const& subject, audit::Action action)
{
    return results::makeResultStore(
        table, [&subject] { return subjectIdentity(subject ? subject->subject() : SubjectTexts {}); }, action);
}

} // namespace ui
