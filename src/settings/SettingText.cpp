#include "settings/SettingText.h"

#include <cmath>
#include <optional>

#include <QString>

#include "platform/errors/RuntimeError.h"

namespace brindlewick {
namespace {

std::optional<double> NumberFromText(const QString& text) {
  bool ok = false;
  const double number = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(number)) return std::nullopt;
  return number;
}

}  // namespace

QString TextFromBoolean(bool value) {
  return value ? QStringLiteral("True") : QStringLiteral("False");
}

bool BooleanFromText(const QString& text) {
  const QString word = text.trimmed();
  if (word.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
  if (word.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
  if (const auto number = NumberFromText(word)) return *number != 0;
  throw TypeMismatchError();
}

int32_t LongFromText(const QString& text) {
  const auto number = NumberFromText(text);
  if (!number) throw TypeMismatchError();
  const double rounded = std::nearbyint(*number);  // the default rounding mode: halves to even
  if (rounded < INT32_MIN || rounded > INT32_MAX) throw OverflowError();
  return static_cast<int32_t>(rounded);
}

}  // namespace brindlewick
