#pragma once
// The official form's fields, read once from the table built in with this
// library (data/fitness-2025/scorecard-form-fields.tsv), and what each one
// takes from a scorecard. The table is the only place a field name meets a
// card box; a box the table names that nothing here knows stops the fill.

#include <QList>
#include <QString>
#include <optional>

#include "cards.h"

namespace quillon::officialform {

enum class FieldKind { Text, CheckBox, Choice, Signature };

struct FormField {
  QString name;  // fully qualified, as the blank form names it
  FieldKind kind = FieldKind::Text;
  int page = 1;
  QString box;      // the card box it takes; empty when it is left
  QString whyLeft;  // for a field left empty, who fills it
};

// Every field of the blank form, in the table's order.
const QList<FormField>& formFields();

// What a field's box holds for a card: text for a text or choice field
// (empty leaves it blank), or whether a check box is ticked. `tests` are the
// card's tests as it shows them (testsOnCard), TEST ONE first. Nothing for
// a box this library does not know: the table and the code disagree.
struct BoxValue {
  QString text;
  bool ticked = false;
};
std::optional<BoxValue> boxValue(const FitnessCard& card, const QList<CardTest>& tests, const QString& box);

}  // namespace quillon::officialform
