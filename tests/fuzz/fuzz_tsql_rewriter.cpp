// libFuzzer target: the bridge's rewriter on any statement. A construct it does not know is
// refused with TranslateError (a DataError); it never crashes, and a statement it translated
// once translates the same from its cache.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/errors.h"

namespace {

bool Same(const zodadovez::bridge::Translation& a, const zodadovez::bridge::Translation& b) {
  return a.kind == b.kind && a.statements == b.statements && a.select_sql == b.select_sql &&
         a.temp_table == b.temp_table && a.parameters.size() == b.parameters.size() &&
         a.procedure.name == b.procedure.name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  static zodadovez::bridge::Translator cached;
  try {
    zodadovez::bridge::Translator fresh;
    const zodadovez::bridge::Translation first = fresh.Translate(sql);
    if (!Same(first, cached.Translate(sql))) std::abort();
  } catch (const zodadovez::Error&) {
    // Refused: TranslateError names the construct; values that do not convert say so.
  }
  return 0;
}
