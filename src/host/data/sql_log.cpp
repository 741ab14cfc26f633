#include "host/data/sql_log.h"

#include <fmt/format.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "module/common/errors.h"

namespace zodadovez {
namespace {

nlohmann::ordered_json ToJson(const Value& value) {
  switch (value.kind()) {
    case ValueKind::kEmpty:
    case ValueKind::kNull:
      return nullptr;
    case ValueKind::kBool:
      return value.as_bool() ? 1 : 0;
    case ValueKind::kInteger:
      return value.as_integer();
    case ValueKind::kDecimal:
      return value.as_decimal().ToString();
    case ValueKind::kDouble:
      return value.as_double();
    case ValueKind::kText:
      return value.as_text();
    case ValueKind::kDate:
      return FormatIsoDate(value.as_date());
  }
  return nullptr;
}

}  // namespace

std::string SqlLogLine(const StatementRecord& record) {
  nlohmann::ordered_json line;
  std::string sql = record.text;
  nlohmann::ordered_json params = nlohmann::ordered_json::array();
  for (const Value& value : record.parameters()) params.push_back(ToJson(value));
  if (record.kind == StatementRecord::Kind::kUpdate && !record.key.empty()) {
    // The backend's UPDATE, which finds the row by its key as it was read.
    sql = sql.substr(0, sql.rfind(" WHERE "));
    for (std::size_t i = 0; i < record.key.size(); ++i) {
      sql += fmt::format("{}{} = ?", i == 0 ? " WHERE " : " AND ", record.key[i]);
      params.push_back(ToJson(record.key_values[i]));
    }
  }
  line["sql"] = std::move(sql);
  line["params"] = std::move(params);
  line["ms"] = std::round(static_cast<double>(record.elapsed.count()) / 1e3) / 1e3;
  line["rows"] = record.rows;
  // Text that is not UTF-8 (a gym database's stray byte) is written with U+FFFD, not refused.
  return line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

SqlLogFile::SqlLogFile(const std::filesystem::path& path)
    : path_(path),
      out_(path, std::ios::binary | std::ios::trunc),
      log_([this](const StatementRecord& record) {
        // Flushed line by line, so that a run that stops leaves every statement it sent.
        out_ << SqlLogLine(record) << '\n' << std::flush;
      }) {
  if (!out_) {
    throw ConfigError(
        fmt::format("cannot write the SQL log {}: {}", path.string(), std::strerror(errno)));
  }
}

bool SqlLogFile::Finish(std::string* why) {
  out_.flush();
  if (out_) return true;
  *why = fmt::format("the SQL log {} is incomplete: a line could not be written", path_.string());
  return false;
}

}  // namespace zodadovez
