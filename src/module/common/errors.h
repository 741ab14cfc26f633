// The exceptions the module and its hosts throw; all derive from Error.
#pragma once

#include <stdexcept>
#include <string>

namespace zodadovez {

// Base of every exception of the project. `number` is the run-time error number that the
// anomaly route reports beside the text (the original reported the platform's error numbers;
// the ones we raise ourselves are listed with each type).
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& what, long number = 0)
      : std::runtime_error(what), number_(number) {}
  long number() const { return number_; }

 private:
  long number_;
};

// A value that cannot be converted to the type asked for (number 13, "type mismatch").
class ConversionError : public Error {
 public:
  explicit ConversionError(const std::string& what) : Error(what, kNumber) {}
  static constexpr long kNumber = 13;
};

// Arithmetic outside the range of Decimal (number 6, "overflow"), or a division by zero (11).
class ArithmeticError : public Error {
 public:
  ArithmeticError(const std::string& what, long number) : Error(what, number) {}
  static constexpr long kOverflow = 6;
  static constexpr long kDivisionByZero = 11;
};

// A statement the database refused, a lost connection, an unknown field name.
class DataError : public Error {
 public:
  explicit DataError(const std::string& what, long number = kNumber) : Error(what, number) {}
  static constexpr long kNumber = -2147217900;  // the provider's generic "command failed"
};

// A T-SQL construct the embedded backend's bridge does not translate, or a syntax error.
// `offset` is the byte offset in the statement; line and column are 1-based.
class TranslateError : public DataError {
 public:
  TranslateError(const std::string& what, std::size_t offset, int line, int column)
      : DataError(what), offset_(offset), line_(line), column_(column) {}
  std::size_t offset() const { return offset_; }
  int line() const { return line_; }
  int column() const { return column_; }

 private:
  std::size_t offset_;
  int line_;
  int column_;
};

// Bad arguments or configuration: a missing database file, an unknown backend.
class ConfigError : public Error {
 public:
  explicit ConfigError(const std::string& what) : Error(what) {}
};

}  // namespace zodadovez
