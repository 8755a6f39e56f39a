#include "ui/session/result_store.h"

#include "storage/results_table.h"

namespace ui {

storage::SubjectIdentity subjectIdentity(const SubjectTexts& texts)
{
    storage::SubjectIdentity identity;
    identity.surname = texts.surname.toStdString();
    identity.firstName = texts.firstName.toStdString();
    identity.birthNumber1 = texts.birthNumber1.toStdString();
    identity.birthNumber2 = texts.birthNumber2.toStdString();
    identity.date = texts.date.toStdString();
    return identity;
}

engine::StoreResult makeTestWindowStore(storage::Dataset& table, SubjectSource* const& subject)
{
    return storage::makeResultStore(
        table, [&subject] { return subjectIdentity(subject ? subject->subject() : SubjectTexts {}); });
}

} // namespace ui
