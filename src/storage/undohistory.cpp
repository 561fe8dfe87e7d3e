#include "undohistory.h"

#include <QScopedValueRollback>
#include <QUndoCommand>
#include <QUndoStack>

namespace quillon {

std::optional<QString> fieldIn(const Record& r, const QString& name) {
  for (auto it = r.cbegin(); it != r.cend(); ++it)
    if (it.key().compare(name, Qt::CaseInsensitive) == 0) return it.value();
  return std::nullopt;
}

UndoEdit UndoEdit::inverse() const {
  const Kind back = kind == Add ? Remove : kind == Remove ? Add : Update;
  return {back, change.inverse()};
}

UndoObstacle obstacleOf(const QList<UndoEdit>& edits, const std::function<std::optional<Record>(qint64)>& stored) {
  QStringList fields;
  const auto name = [&](const QString& f) {
    if (!fields.contains(f, Qt::CaseInsensitive)) fields << f;
  };
  for (const UndoEdit& e : edits) {
    const std::optional<Record> now = stored(e.change.key);
    if (e.kind == UndoEdit::Add) {
      if (now) return {UndoObstacle::Taken, {}};
      continue;
    }
    if (!now) return {UndoObstacle::Gone, {}};
    const Record expected = e.change.before();
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
      if (fieldIn(*now, it.key()).value_or(QString()) != it.value()) name(it.key());
    if (e.kind == UndoEdit::Remove)
      for (auto it = now->cbegin(); it != now->cend(); ++it)
        if (!it.value().isEmpty() && !fieldIn(expected, it.key())) name(it.key());
  }
  fields.sort();
  if (fields.isEmpty()) return {};
  return {UndoObstacle::Changed, fields};
}

// A step on the stack. The history stores its edits before it moves the
// stack; the stack's own undo() and redo(), called by anyone else, store
// them here.
class UndoHistory::Step : public QUndoCommand {
 public:
  Step(UndoHistory& h, const QString& text, QList<UndoEdit> edits)
      : QUndoCommand(text), h_(h), edits_(std::move(edits)) {}
  const QList<UndoEdit>& edits() const { return edits_; }
  void undo() override { take(Direction::Back); }
  void redo() override { take(Direction::Forward); }

 private:
  void take(Direction d) {
    if (h_.moving_) return;
    h_.target_.take(d == Direction::Forward ? edits_ : backOf(edits_));
  }

  UndoHistory& h_;
  QList<UndoEdit> edits_;
};

QList<UndoEdit> UndoHistory::backOf(const QList<UndoEdit>& edits) {
  QList<UndoEdit> back;
  back.reserve(edits.size());
  for (auto it = edits.crbegin(); it != edits.crend(); ++it) back.append(it->inverse());
  return back;
}

UndoHistory::UndoHistory(QUndoStack& stack, UndoTarget& target) : stack_(stack), target_(target) {}

UndoHistory::~UndoHistory() = default;

void UndoHistory::record(const QString& text, const QList<UndoEdit>& edits) {
  if (edits.isEmpty()) return;
  // Already stored: the stack's redo() on the push has nothing to do.
  QScopedValueRollback moving(moving_, true);
  stack_.push(new Step(*this, text, edits));
}

const UndoHistory::Step* UndoHistory::next(Direction d) const {
  const int i = d == Direction::Back ? stack_.index() - 1 : stack_.index();
  if (i < 0 || i >= stack_.count()) return nullptr;
  return static_cast<const Step*>(stack_.command(i));
}

bool UndoHistory::canStep(Direction d) const { return next(d) != nullptr; }

QString UndoHistory::stepText(Direction d) const {
  const Step* s = next(d);
  return s ? s->text() : QString();
}

qint64 UndoHistory::stepKey(Direction d) const {
  const QList<UndoEdit> edits = nextEdits(d);
  return edits.isEmpty() ? -1 : edits.constFirst().change.key;
}

QList<UndoEdit> UndoHistory::nextEdits(Direction d) const {
  const Step* s = next(d);
  if (!s) return {};
  return d == Direction::Forward ? s->edits() : backOf(s->edits());
}

QString UndoHistory::step(Direction d) {
  if (!next(d)) return {};
  const QString why = target_.take(nextEdits(d));
  if (why.isEmpty()) move(d);
  return why;
}

void UndoHistory::move(Direction d) {
  QScopedValueRollback moving(moving_, true);
  if (d == Direction::Back)
    stack_.undo();
  else
    stack_.redo();
}

void UndoHistory::drop(Direction d) {
  const Step* s = next(d);
  if (!s) return;
  // The stack deletes a step that turns obsolete as it is passed.
  const_cast<Step*>(s)->setObsolete(true);
  move(d);
}

bool UndoHistory::absorb(const UndoEdit& edit) {
  if (stack_.index() != stack_.count()) return false;
  const QList<UndoEdit> back = nextEdits(Direction::Back);
  if (back.size() != 1) return false;
  const UndoEdit& top = back.constFirst();
  if (top.kind != edit.kind || top.change.key != edit.change.key || top.change.before() != edit.change.before() ||
      top.change.after() != edit.change.after())
    return false;
  drop(Direction::Back);
  return true;
}

}  // namespace quillon
