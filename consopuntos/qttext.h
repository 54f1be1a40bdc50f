// The one conversion between internal text (ISO-8859-1) and the toolkit's.
#pragma once

#include <QString>
#include <QValidator>
#include <string>

// Internal text as the toolkit shows it.
[[nodiscard]] inline QString ToDisplay(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
[[nodiscard]] inline QString ToDisplay(const char* text) { return QString::fromLatin1(text); }

// What an input holds, in the internal encoding (the inputs take no
// character outside it: Latin1Validator).
[[nodiscard]] inline std::string FromControl(const QString& text) { return text.toLatin1().toStdString(); }

// Refuses characters outside the internal encoding as they are typed or pasted.
class Latin1Validator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int& /*pos*/) const override {
    for (const QChar c : input)
      if (c.unicode() > 0xFF) return Invalid;
    return Acceptable;
  }
};
