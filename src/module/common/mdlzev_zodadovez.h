// MDLZEV_ZODADOVEZ: the value helpers through which every field and control value passes.
#pragma once

#include <string>

#include "module/common/value.h"

namespace zodadovez {

class DateConverter;
class MessageService;

// Empty, Null or "" give the integer 0; anything else its exact decimal (Italian text form).
// REQUIRES nothing; throws ConversionError for a value that does not convert.
Value NzDec(const Value& value);

// Empty or Null, or a value whose trimmed text is empty, give `default_value`; any other value
// is returned unchanged. Never throws.
Value Nz(const Value& value, const Value& default_value = Value(std::string()));

// The right-trimmed text of the value; "" for Empty, Null and blanks. Throws ConversionError.
std::string RTrimNz(const Value& value);

// The right-trimmed text, left-padded with "0" and cut to its rightmost `width` characters
// (UTF-8 code points, so a letter is never split). Throws Error number 5 for a negative width.
std::string PadLeft(const Value& value, int width);

// floor(value * 10^decimals + 0.499999) / 10^decimals, the sum taken in exact decimal from the
// double's 15 significant digits (1.005 to 2 gives 1; 2.5 to 0 gives 2; -1.5 gives -2).
// Throws ArithmeticError for NaN, infinities and results beyond Decimal's range.
double RoundDec(double value, int decimals);

// The value as a date text to write between single quotes in SQL; "" for a blank value.
// A converter failure yields "". Errors are shown through `messages` when there is one,
// as "Errore nella funzione DateDB" with the error number and description.
std::string DateDB(const Value& value, const DateConverter& converter, MessageService* messages);

}  // namespace zodadovez
