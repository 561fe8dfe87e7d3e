#pragma once
// The official scorecard itself, filled in: the blank form's PDF (built in
// with this library) opened with libqpdf, its XFA layer taken out so that
// every reader shows the form fields beneath, every field the card knows
// set through the one field table (formfields.h) with its appearance drawn,
// and nothing flattened: the signature fields stay empty and signable and
// every other field stays editable. Input is a scorecard's plain text
// (cards.h), already scored; this library reads no records and shows no
// window. A file holding one card keeps the form's own field names; a file
// holding several renames each copy's top field "card<n>" (n from 1, in the
// order given), so that every field of every copy has a name of its own.

#include <QList>
#include <QString>
#include <QStringList>

#include "cards.h"

namespace quillon::officialform {

// The name the fields of copy `n` (from 1) sit under in a file of several.
QString copyFieldPrefix(int n);

// Writes the cards as filled official forms, two pages each, to `path`:
// readable by its owner only (they carry personal data), whole or not at
// all. Empty on success, else why nothing was written.
QString writeOfficialCards(const QList<FitnessCard>& cards, const QString& path);

// The tests on the cards whose body composition was recorded fewer than
// seven days before or after the test, which the form's own note forbids
// ("Cole Abernathy: test 20260612, body composition 20260610"), in the
// cards' order. A date that is not a date is not judged.
QStringList bodyCompositionTooClose(const QList<FitnessCard>& cards);

}  // namespace quillon::officialform
