#pragma once
// The INI-file interface: sections holding "key=value" entries. Settings code
// is written once against it and pointed at a file in memory
// (TMemoryIniFile) or at the settings registry (TSimpleRegIniFile).
//
// The typed readers and writers are built on ReadString and WriteString:
// integers are decimal or hexadecimal ("$1F", "0x1F"), booleans are "1" and
// "0", floats use "." as the decimal separator, dates are "yyyy-mm-dd",
// times "hh:nn:ss" and date-times both joined by a blank.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Exceptions.h"

class TStrings;

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

class EIniFileException : public Exception {
public:
  using Exception::Exception;
  const char* ClassName() const noexcept override { return "EIniFileException"; }
};

class TCustomIniFile {
public:
  explicit TCustomIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
  virtual ~TCustomIniFile() = default;
  TCustomIniFile(const TCustomIniFile&) = delete;
  TCustomIniFile& operator=(const TCustomIniFile&) = delete;

  const std::string& FileName() const { return fileName_; }

  virtual bool SectionExists(const std::string& section);
  virtual std::string ReadString(const std::string& section, const std::string& ident, const std::string& def) = 0;
  virtual void WriteString(const std::string& section, const std::string& ident, const std::string& value) = 0;
  virtual int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def);
  virtual void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
  virtual bool ReadBool(const std::string& section, const std::string& ident, bool def);
  virtual void WriteBool(const std::string& section, const std::string& ident, bool value);
  virtual TDateTime ReadDate(const std::string& section, const std::string& ident, TDateTime def);
  virtual TDateTime ReadDateTime(const std::string& section, const std::string& ident, TDateTime def);
  virtual double ReadFloat(const std::string& section, const std::string& ident, double def);
  virtual TDateTime ReadTime(const std::string& section, const std::string& ident, TDateTime def);
  virtual void WriteDate(const std::string& section, const std::string& ident, TDateTime value);
  virtual void WriteDateTime(const std::string& section, const std::string& ident, TDateTime value);
  virtual void WriteFloat(const std::string& section, const std::string& ident, double value);
  virtual void WriteTime(const std::string& section, const std::string& ident, TDateTime value);
  // Appends the key names of a section.
  virtual void ReadSection(const std::string& section, TStrings& strings) = 0;
  // Appends the names of all sections.
  virtual void ReadSections(TStrings& strings) = 0;
  // Appends "name=value" for each entry of a section.
  virtual void ReadSectionValues(const std::string& section, TStrings& strings) = 0;
  virtual void EraseSection(const std::string& section) = 0;
  virtual void DeleteKey(const std::string& section, const std::string& ident) = 0;
  virtual void UpdateFile() = 0;
  virtual bool ValueExists(const std::string& section, const std::string& ident);

private:
  std::string fileName_;
};

// The conversions of the typed readers and writers, for code that handles
// the texts itself.

// Decimal with an optional sign, or hexadecimal after "$" or "0x" (up to
// 32 bits, so "$FFFFFFFF" is -1); leading blanks allowed; nothing else.
std::optional<int32_t> ParseIniInteger(std::string_view text);
// Blanks around, an optional sign, digits with "." and an exponent.
std::optional<double> ParseIniFloat(std::string_view text);
// 15 significant digits, exponent form ("1.5E20") outside 1E-5 .. 1E15.
std::string FloatToIniText(double value);
std::optional<TDateTime> ParseIniDate(std::string_view text);
std::optional<TDateTime> ParseIniTime(std::string_view text);
std::optional<TDateTime> ParseIniDateTime(std::string_view text);
// The writers raise EConvertError for a value outside 0001-01-01 ..
// 9999-12-31 (or not a number): no text of the readers could hold it.
std::string DateToIniText(TDateTime value);
std::string TimeToIniText(TDateTime value);
// The date, followed by the time unless it is midnight.
std::string DateTimeToIniText(TDateTime value);
