// libFuzzer target: the Italian conventions of the value helpers on any text: dates
// ("05/02/2024 10:30"), numbers ("1.234,50") and the helpers the module reads gym fields
// with. What parses formats back to a text that parses to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/value.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zodadovez;
  const std::string text(reinterpret_cast<const char*>(data), size);
  DateTime date;
  if (TryParseItalianDate(text, &date)) {
    DateTime again;
    if (!TryParseItalianDate(FormatItalianDate(date), &again) || again != date) std::abort();
  }
  if (TryParseIsoDate(text, &date)) {
    DateTime again;
    if (!TryParseIsoDate(FormatIsoDate(date), &again) || again != date) std::abort();
  }
  const Value value(text);
  try {
    const Decimal number = value.ToDecimal();
    if (!(Value(number.ToItalianString()).ToDecimal() == number)) std::abort();
  } catch (const Error&) {
    // Not a number: refused with the conversion error.
  }
  try {
    (void)value.ToDate();
  } catch (const Error&) {
  }
  (void)Nz(value, Value(0));
  (void)RTrimNz(value);
  try {
    (void)NzDec(value);
    (void)PadLeft(text, 6);
  } catch (const Error&) {
  }
  return 0;
}
