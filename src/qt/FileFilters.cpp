#include "qt/FileFilters.h"

#include "qt/QtText.h"

namespace tarvel {
namespace {

QString AnyCase(const QString& pattern) {
  QString out;
  for (const QChar c : pattern) {
    if (c.isLetter() && c.toLower() != c.toUpper())
      out += QString("[%1%2]").arg(c.toLower()).arg(c.toUpper());
    else
      out += c;
  }
  return out;
}

}  // namespace

QStringList QtNameFilters(const std::string& filter) {
  const QStringList parts = Qs(filter).split('|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) patterns << AnyCase(p.trimmed());
    const QString description = parts[i].trimmed().isEmpty() ? parts[i + 1] : parts[i];
    // Qt reads the patterns from the last parentheses; the description keeps its own.
    out << QString("%1 (%2)").arg(description, patterns.join(' '));
  }
  return out;
}

}  // namespace tarvel
