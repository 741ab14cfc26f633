// MDLZEV_ZODADOVEZ: the value helpers.
#include "module/common/mdlzev_zodadovez.h"

#include <cmath>
#include <exception>
#include <string>
#include <string_view>

#include "module/common/decimal.h"
#include "module/common/errors.h"
#include "module/common/host_services.h"

namespace zodadovez {
namespace {

// The platform's Trim and RTrim remove spaces only, not tabs or line breaks.
std::string_view RTrimSpaces(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}
std::string_view TrimSpaces(std::string_view s) {
  s = RTrimSpaces(s);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

Value NzDec(const Value& value) {
  if (value.is_empty() || value.is_null() || (value.is_text() && value.as_text().empty())) {
    return Value(0);
  }
  return Value(value.ToDecimal());
}

Value Nz(const Value& value, const Value& default_value) {
  if (value.is_empty() || value.is_null()) return default_value;
  try {
    if (TrimSpaces(value.ToText()).empty()) return default_value;
    return value;
  } catch (const std::exception&) {
    // The original resumed after any error and returned what it had assigned: nothing yet.
    return Value();
  }
}

std::string RTrimNz(const Value& value) {
  if (value.is_empty() || value.is_null()) return std::string();
  return std::string(RTrimSpaces(value.ToText()));
}

std::string PadLeft(const Value& value, int width) {
  if (width < 0) {
    throw Error("PadLeft: negative width " + std::to_string(width), 5);
  }
  std::string padded(static_cast<std::size_t>(width), '0');
  padded += RTrimNz(value);
  // The rightmost `width` characters, counted in code points so that a UTF-8 letter is never
  // cut in two.
  std::size_t start = padded.size();
  for (int taken = 0; taken < width && start > 0; ++taken) {
    do {
      --start;
    } while (start > 0 && IsContinuationByte(padded[start]));
  }
  return padded.substr(start);
}

double RoundDec(double value, int decimals) {
  double factor = std::pow(10.0, decimals);
  // value * factor + 0.499999 in exact decimal: the double enters with its 15 significant
  // digits, so 1.005 is 1.005 and not 1.00499999999999989...
  // Beyond 37 decimals the factor itself overflows, as the original's conversion did.
  Decimal exact_factor = decimals >= 0 ? Decimal(1) : Decimal::FromParts(1, -decimals);
  for (int i = 0; i < decimals; ++i) exact_factor *= Decimal(10);
  Decimal t = Decimal::FromDouble(value) * exact_factor + Decimal::FromParts(499999, 6);
  return t.Floor().ToDouble() / factor;
}

std::string DateDB(const Value& value, const DateConverter& converter, MessageService* messages) {
  std::string result;
  try {
    if (RTrimNz(value).empty()) return result;
    DateConverter::Result converted = converter.Convert(value);
    // On a failure the original recomposed the value's own text into a form no caller could
    // use between quotes; an empty text makes the failure visible instead.
    if (converted.status == 0) result = converted.text;
  } catch (const Error& e) {
    if (messages != nullptr) {
      messages->Show(
          "Errore nella funzione DateDB\n" + std::to_string(e.number()) + "\n" + e.what(),
          kMsgCritical, "Informazione");
    }
  } catch (const std::exception& e) {
    if (messages != nullptr) {
      messages->Show(std::string("Errore nella funzione DateDB\n0\n") + e.what(), kMsgCritical,
                     "Informazione");
    }
  }
  return result;
}

}  // namespace zodadovez
