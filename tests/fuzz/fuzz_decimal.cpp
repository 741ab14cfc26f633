// libFuzzer target: the Decimal parsers on any text. What parses prints back to a text that
// parses to the same value; what does not parse is refused, never a crash.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "module/common/decimal.h"
#include "module/common/errors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using zodadovez::Decimal;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Decimal value;
  if (Decimal::TryParse(text, &value)) {
    Decimal again;
    if (!Decimal::TryParse(value.ToString(), &again) || !(again == value)) std::abort();
    if (!Decimal::TryParseItalian(value.ToItalianString(), &again) || !(again == value)) {
      std::abort();
    }
    try {
      // Arithmetic may overflow, and says so; it never crashes.
      (void)(value * value + value - value / (value.is_zero() ? Decimal(1) : value));
      (void)value.Round(2, zodadovez::RoundingMode::kHalfUp);
      (void)value.ToDouble();
    } catch (const zodadovez::Error&) {
    }
  }
  if (Decimal::TryParseItalian(text, &value)) {
    Decimal again;
    if (!Decimal::TryParseItalian(value.ToItalianString(), &again) || !(again == value)) {
      std::abort();
    }
  }
  return 0;
}
