// Reading the number typed into an edit, as the forms and dialogs check it when the edit loses
// the focus: the value, or the message the user sees ("Enter an integer between 0 and 1000.").
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace fw {

std::optional<float> ReadFloatField(const QString& text, float minimum, float maximum,
                                    QString* message);
// A float without a range.
std::optional<float> ReadNumberField(const QString& text, QString* message);
std::optional<int> ReadIntField(const QString& text, int minimum, int maximum, QString* message);
std::optional<uint8_t> ReadByteField(const QString& text, QString* message);
std::optional<uint32_t> ReadUnsignedField(const QString& text, QString* message);
// A float as the edits show it (up to 6 significant digits: -0.5, 0.392157, 0).
QString FloatFieldText(float value);

}  // namespace fw
