#include "testkind.h"

#include "fiveeventkind.h"
#include "threeeventkind.h"

namespace quillon {

int TestKind::alternateIndex(const QString& key) const {
  for (qsizetype i = 0; i < alternates().size(); ++i)
    if (alternates().at(i).key.compare(key.trimmed(), Qt::CaseInsensitive) == 0) return int(i);
  return -1;
}

QString TestKind::alternateName(const QString& key) const {
  const int a = alternateIndex(key);
  return a < 0 ? key : alternates().at(a).name;
}

QString TestKind::captionOf(const EventResult& e) const {
  return e.alternate.isEmpty() ? events().at(e.event).caption : e.alternate.toUpper();
}

// No points in any event fail a test by every pass rule.
QString TestKind::failWord() const { return verdict(Soldier{}, QList<int>(events().size(), 0)); }

QString TestKind::rawText(const EventResult& e) const { return e.raw ? written(e.event, *e.raw) : QString(); }

const TestKind& testKind(TestKindId id) {
  static const ThreeEventKind three;
  static const FiveEventKind five;
  switch (id) {
    case TestKindId::ThreeEvent:
      return three;
    case TestKindId::FiveEvent:
      return five;
  }
  Q_UNREACHABLE();
}

}  // namespace quillon
