#include "dbaccess/sqltext.h"
#include "dbaccess/field.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "dbaccess/errors.h"
#include "dbaccess/textforms.h"
#include "dbaccess/encoding.h"

namespace dbx {
namespace {

// One row of values, one per field, with the test's locale settings.
class RowHost : public FieldHost {
 public:
  const FormatSettings& Formats() const noexcept override { return formats; }
  FormatSettings formats;
  const Variant& GetFieldValue(const TField& field) const override {
    static const Variant kNull{Null{}};
    const auto it = values_.find(&field);
    return it == values_.end() ? kNull : it->second;
  }
  void SetFieldValue(const TField& field, Variant value) override { values_[&field] = std::move(value); }
  [[nodiscard]] bool Assigned(const TField& field) const { return values_.count(&field) != 0; }

 private:
  std::map<const TField*, Variant> values_;
};

// Day-first dates, comma decimals, a.m./p.m.
class FieldTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FormatSettings& fs = host_.formats;
    fs.shortDateFormat = "dd/MM/yyyy";
    fs.timeAMString = "a.m.";
    fs.timePMString = "p.m.";
    fs.decimalSeparator = ',';
    fs.thousandSeparator = '.';
  }

  TField& Make(TFieldType type, int precision = 0, int scale = 0, const char* name = "CAMPO") {
    FieldDesc desc;
    desc.name = name;
    desc.type = type;
    desc.precision = precision;
    desc.scale = scale;
    fields_.push_back(std::make_unique<TField>(nullptr, std::string("F") + name, desc));
    fields_.back()->Bind(&host_, static_cast<int>(fields_.size()) - 1);
    return *fields_.back();
  }

  RowHost host_;

 private:
  std::vector<std::unique_ptr<TField>> fields_;
};

TEST_F(FieldTest, UnboundFieldIsNullAndCannotBeWritten) {
  TField field(nullptr, "FX", FieldDesc{"X", ftInteger});
  EXPECT_TRUE(field.IsNull());
  EXPECT_EQ(field.AsString(), "");
  EXPECT_THROW(field.SetValue(std::int64_t{1}), EDatabaseError);
}

TEST_F(FieldTest, NullWriteClearsAndAssigns) {
  TField& f = Make(ftString);
  EXPECT_FALSE(host_.Assigned(f));
  f.SetValue(Null{});
  EXPECT_TRUE(f.IsNull());
  EXPECT_TRUE(host_.Assigned(f));
}

struct ConvertCase {
  TFieldType type;
  int precision, scale;
  Variant input;
  std::optional<Variant> expected;  // nullopt: not convertible
};

TEST_F(FieldTest, VariantWriteConverts) {
  const ConvertCase cases[] = {
      // text fields take the text of numbers and dates
      {ftString, 0, 0, std::int64_t{42}, std::string("42")},
      {ftString, 0, 0, Decimal{-50, 2, 15}, std::string("-0,5")},
      {ftString, 0, 0, 2.25, std::string("2,25")},
      {ftString, 0, 0, Date{2008, 12, 1}, std::string("01/12/2008")},
      {ftMemo, 0, 0, std::string("a'b"), std::string("a'b")},
      {ftBlob, 0, 0, std::string("\x01\x02"), std::string("\x01\x02")},
      {ftBlob, 0, 0, std::int64_t{1}, std::nullopt},
      // integers: only integral values inside the type's range
      {ftInteger, 0, 0, std::string("123"), std::int64_t{123}},
      {ftInteger, 0, 0, std::string(" -7 "), std::int64_t{-7}},
      {ftInteger, 0, 0, 12.0, std::int64_t{12}},
      {ftInteger, 0, 0, 12.5, std::nullopt},
      {ftInteger, 0, 0, Decimal{1200, 2, 15}, std::int64_t{12}},
      {ftInteger, 0, 0, Decimal{1250, 2, 15}, std::nullopt},
      {ftInteger, 0, 0, std::int64_t{3000000000}, std::nullopt},
      {ftInteger, 0, 0, std::string("abc"), std::nullopt},
      {ftInteger, 0, 0, Date{2008, 12, 1}, std::nullopt},
      {ftSmallint, 0, 0, std::int64_t{40000}, std::nullopt},
      {ftWord, 0, 0, std::int64_t{-1}, std::nullopt},
      {ftLargeint, 0, 0, std::string("9223372036854775807"), std::int64_t{INT64_MAX}},
      {ftLargeint, 0, 0, std::string("9223372036854775808"), std::nullopt},
      // decimals: exact at the field's scale, doubles rounded half to even
      {ftFMTBcd, 15, 2, Decimal{12300, 4, 18}, Decimal{123, 2, 15}},
      {ftFMTBcd, 15, 2, Decimal{12340, 4, 18}, std::nullopt},
      {ftFMTBcd, 15, 2, Decimal{123456, 5, 18}, std::nullopt},
      {ftFMTBcd, 15, 2, std::int64_t{7}, Decimal{700, 2, 15}},
      {ftFMTBcd, 15, 2, 0.125, Decimal{12, 2, 15}},
      {ftFMTBcd, 15, 2, 0.135, Decimal{14, 2, 15}},
      {ftFMTBcd, 15, 2, -2.675, Decimal{-268, 2, 15}},  // the double's shortest text is -2.675
      {ftFMTBcd, 15, 2, std::string("12,5"), Decimal{1250, 2, 15}},
      {ftFMTBcd, 15, 2, std::string("12.5"), Decimal{1250, 2, 15}},
      {ftFMTBcd, 15, 2, std::string("1.234,5"), std::nullopt},
      {ftFMTBcd, 15, 2, std::string("9999999999999,99"), Decimal{999999999999999, 2, 15}},
      {ftFMTBcd, 15, 2, std::string("10000000000000"), std::nullopt},
      {ftFMTBcd, 15, 2, 1e300, std::nullopt},
      {ftBCD, 10, 4, Decimal{5, 0, 18}, Decimal{50000, 4, 10}},
      // doubles
      {ftFloat, 0, 0, std::string("1,5"), 1.5},
      {ftFloat, 0, 0, std::string("-2.5e3"), -2500.0},
      {ftFloat, 0, 0, Decimal{15, 1, 15}, 1.5},
      {ftFloat, 0, 0, std::string("x"), std::nullopt},
      {ftFloat, 0, 0, std::string("1e99999"), std::nullopt},
      // dates and times
      {ftDate, 0, 0, DateTime{Date{2008, 12, 1}, Time{10, 0, 0, 0}}, Date{2008, 12, 1}},
      {ftDate, 0, 0, std::string("01/12/2008"), Date{2008, 12, 1}},
      {ftDate, 0, 0, std::string("31/02/2008"), std::nullopt},
      {ftDate, 0, 0, std::int64_t{20081201}, std::nullopt},
      {ftTimeStamp, 0, 0, Date{2008, 12, 1}, DateTime{Date{2008, 12, 1}, Time{}}},
      {ftDateTime, 0, 0, std::string("01/12/2008 14:05"), DateTime{Date{2008, 12, 1}, Time{14, 5, 0, 0}}},
      {ftDateTime, 0, 0, std::string("01/12/2008 2:05:09 p.m."), DateTime{Date{2008, 12, 1}, Time{14, 5, 9, 0}}},
      {ftTime, 0, 0, std::string("14:05:09"), Time{14, 5, 9, 0}},
      {ftTime, 0, 0, std::string("12:00 a.m."), Time{0, 0, 0, 0}},
      {ftTime, 0, 0, std::string("25:00"), std::nullopt},
      {ftTime, 0, 0, DateTime{Date{2008, 12, 1}, Time{1, 2, 3, 4}}, Time{1, 2, 3, 4}},
  };
  for (const ConvertCase& c : cases) {
    TField& f = Make(c.type, c.precision, c.scale);
    const std::string what = std::to_string(f.DataType()) + " <- " + SqlLiteral(c.input);
    if (c.expected) {
      ASSERT_NO_THROW(f.SetValue(c.input)) << what;
      EXPECT_TRUE(f.Value() == *c.expected) << what << " gave " << SqlLiteral(f.Value());
    } else {
      EXPECT_THROW(f.SetValue(c.input), EDatabaseError) << what << " gave " << SqlLiteral(f.Value());
      EXPECT_FALSE(host_.Assigned(f)) << what;
    }
  }
}

TEST_F(FieldTest, InvalidValueNamesTheField) {
  TField& f = Make(ftFMTBcd, 15, 2, "PTACUM");
  try {
    f.SetValue(std::string("diez"));
    FAIL() << "accepted";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), "Valor inválido para el campo 'PTACUM'"_l1);
  }
}

struct TextCase {
  TFieldType type;
  Variant value;
  const char* expected;
};

TEST_F(FieldTest, FieldTexts) {
  const TextCase cases[] = {
      {ftFMTBcd, Decimal{0, 2, 15}, "0"},
      {ftFMTBcd, Decimal{-50, 2, 15}, "-0,5"},
      {ftFMTBcd, Decimal{123450, 2, 15}, "1234,5"},
      {ftFMTBcd, Decimal{120000, 2, 15}, "1200"},
      {ftFMTBcd, Decimal{1, 0, 64}, "1"},
      {ftBCD, Decimal{123450, 2, 14}, "1234,5"},
      {ftBCD, Decimal{-1, 4, 14}, "-0,0001"},
      {ftFloat, 0.25, "0,25"},
      {ftFloat, 1e20, "1E20"},
      {ftInteger, std::int64_t{-5}, "-5"},
      {ftLargeint, std::int64_t{INT64_MIN}, "-9223372036854775808"},
      {ftString, std::string("O'x "), "O'x "},
      {ftMemo, std::string("línea\r\n"_l1), "línea\r\n"_l1},
      {ftDate, Date{2008, 12, 1}, "01/12/2008"},
      {ftTime, Time{14, 5, 9, 0}, "2:05:09 p.m."},
      {ftDateTime, DateTime{Date{2008, 12, 1}, Time{14, 5, 9, 0}}, "01/12/2008 2:05:09 p.m."},
      {ftTimeStamp, DateTime{Date{2008, 12, 1}, Time{14, 5, 9, 0}}, "01/12/2008 2:05:09 p.m."},
      {ftTimeStamp, DateTime{Date{2008, 12, 1}, Time{0, 0, 0, 5000}}, "01/12/2008"},
      {ftDateTime, DateTime{Date{2008, 12, 1}, Time{}}, "01/12/2008"},
      {ftFMTBcd, Null{}, ""},
      {ftDate, Null{}, ""},
  };
  for (const TextCase& c : cases) {
    TField& f = Make(c.type);
    host_.SetFieldValue(f, c.value);
    EXPECT_EQ(f.AsString(), c.expected) << std::to_string(f.DataType());
  }
}

TEST_F(FieldTest, DecimalTextOfBadPrecisionOverflows) {
  for (int precision : {0, 65}) {
    TField& f = Make(ftFMTBcd, 15, 2);
    host_.SetFieldValue(f, Decimal{100, 2, precision});
    try {
      (void)f.AsString();
      ADD_FAILURE() << "precision " << precision;
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.Message(), "Desbordamiento de BCD");
    }
  }
}

TEST_F(FieldTest, SetAsStringClearsNumbersAndDatesOnEmptyText) {
  TField& n = Make(ftInteger);
  n.SetAsString("12");
  EXPECT_TRUE(n.Value() == Variant(std::int64_t{12}));
  n.SetAsString("");
  EXPECT_TRUE(n.IsNull());
  TField& d = Make(ftDate);
  d.SetAsString("");
  EXPECT_TRUE(d.IsNull());
  TField& s = Make(ftString);
  s.SetAsString("");
  EXPECT_TRUE(s.Value() == Variant(std::string()));
}

}  // namespace
}  // namespace dbx
