// Fields of a dataset: one per column, typed from the column description.
// A field reads and writes the current row of the dataset that holds it.
#pragma once

#include <cstdint>
#include <string>

#include "dbaccess/component.h"
#include "dbaccess/textforms.h"
#include "dbaccess/values.h"

namespace dbx {

// A column as the statement describes it.
struct FieldDesc {
  std::string name;
  TFieldType type = ftUnknown;
  int size = 0;        // text length in bytes
  int precision = 0;   // decimals
  int scale = 0;       // decimals
  bool required = false;
  bool fixedChar = false;
};

enum TProviderFlag : unsigned { pfInUpdate = 1, pfInWhere = 2, pfInKey = 4, pfHidden = 8 };
enum class TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

class TField;

// What a field needs from the dataset that holds it.
class FieldHost {
 public:
  virtual ~FieldHost() = default;
  // The value of the field in the current row (Null when there is none).
  [[nodiscard]] virtual const Variant& GetFieldValue(const TField& field) const = 0;
  // Stores a value in the current row; raises when the row cannot be written.
  virtual void SetFieldValue(const TField& field, Variant value) = 0;
  // The locale settings the field texts follow.
  [[nodiscard]] virtual const FormatSettings& Formats() const noexcept = 0;
};

class TField : public TComponent {
 public:
  // A field created by a dataset from a column, or declared by its owner.
  TField(TComponent* owner, std::string componentName, const FieldDesc& desc);

  [[nodiscard]] const std::string& FieldName() const noexcept { return desc_.name; }
  [[nodiscard]] TFieldType DataType() const noexcept { return desc_.type; }
  [[nodiscard]] const FieldDesc& Desc() const noexcept { return desc_; }
  [[nodiscard]] int Size() const noexcept { return desc_.size; }
  [[nodiscard]] bool Required() const noexcept { return desc_.required; }
  void SetRequired(bool required) noexcept { desc_.required = required; }
  [[nodiscard]] bool ReadOnly() const noexcept { return readOnly_; }
  void SetReadOnly(bool readOnly) noexcept { readOnly_ = readOnly; }
  [[nodiscard]] unsigned ProviderFlags() const noexcept { return providerFlags_; }
  void SetProviderFlags(unsigned flags) noexcept { providerFlags_ = flags; }
  [[nodiscard]] TFieldKind FieldKind() const noexcept { return TFieldKind::fkData; }

  // Binding to the dataset that holds the field; index is the column index.
  void Bind(FieldHost* host, int index) noexcept { host_ = host; index_ = index; }
  [[nodiscard]] FieldHost* Host() const noexcept { return host_; }
  [[nodiscard]] int Index() const noexcept { return index_; }

  [[nodiscard]] bool IsNull() const;
  // The value, or Null.
  [[nodiscard]] const Variant& Value() const;
  // Variant write: Null clears (assigned); other values are converted to the
  // field's type, else "Valor inválido para el campo '%s'".
  void SetValue(const Variant& value);
  // Text form of the value in the current locale; empty for null.
  [[nodiscard]] std::string AsString() const;
  void SetAsString(const std::string& text);
  // The locale settings of the dataset that holds the field (none: the
  // defaults).
  [[nodiscard]] const FormatSettings& Formats() const noexcept;

  // Converts a value to this field's type (throws as SetValue does).
  [[nodiscard]] Variant Convert(const Variant& value) const;

 private:
  FieldDesc desc_;
  bool readOnly_ = false;
  unsigned providerFlags_ = pfInUpdate | pfInWhere;
  FieldHost* host_ = nullptr;
  int index_ = -1;
};

// Field text of a value of a given type (the AsString forms).
[[nodiscard]] std::string FieldText(TFieldType type, const Variant& value, const FormatSettings& fs);

}  // namespace dbx
