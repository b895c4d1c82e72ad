#include "gui/controls/entry_fields.h"

#include <cmath>

namespace fw {

QString FloatFieldText(float value) {
  return QString::asprintf("%.*g", 6, double{value});
}

std::optional<float> ReadFloatField(const QString& text, float minimum, float maximum,
                                    QString* message) {
  bool ok = false;
  const double parsed = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(parsed)) {
    *message = QStringLiteral("Enter a number.");
    return std::nullopt;
  }
  const float value = static_cast<float>(parsed);
  if (value < minimum || value > maximum) {
    *message = QStringLiteral("Enter a number between %1 and %2.")
                   .arg(FloatFieldText(minimum), FloatFieldText(maximum));
    return std::nullopt;
  }
  return value;
}

std::optional<float> ReadNumberField(const QString& text, QString* message) {
  bool ok = false;
  const double parsed = text.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(parsed) || std::fabs(parsed) > 3.4e38) {
    *message = QStringLiteral("Enter a number.");
    return std::nullopt;
  }
  return static_cast<float>(parsed);
}

std::optional<int> ReadIntField(const QString& text, int minimum, int maximum, QString* message) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok) {
    *message = QStringLiteral("Enter an integer.");
    return std::nullopt;
  }
  if (value < minimum || value > maximum) {
    *message = QStringLiteral("Enter an integer between %1 and %2.").arg(minimum).arg(maximum);
    return std::nullopt;
  }
  return value;
}

std::optional<uint8_t> ReadByteField(const QString& text, QString* message) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok);
  if (!ok || value < 0 || value > 255) {
    *message = QStringLiteral("Enter an integer between 0 and 255.");
    return std::nullopt;
  }
  return static_cast<uint8_t>(value);
}

std::optional<uint32_t> ReadUnsignedField(const QString& text, QString* message) {
  bool ok = false;
  const uint value = text.trimmed().toUInt(&ok);
  if (!ok) {
    *message = QStringLiteral("Enter a positive integer.");
    return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

}  // namespace fw
