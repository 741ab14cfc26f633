#include "host/data/sqlite/sqlite_dialect.h"

#include <fmt/format.h>

#include <cctype>
#include <cstdlib>
#include <vector>

#include "module/common/errors.h"

namespace zodadovez::sqlite {

std::string DbmsVersion(std::string_view sqlite_version) {
  return fmt::format("16.00.0000 (SQLite {})", sqlite_version);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

DeclaredType ParseDeclaredType(std::string_view declared) {
  DeclaredType t;
  if (declared.empty()) return t;
  std::string d = AsciiLower(declared);
  std::string base = d.substr(0, d.find('('));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  std::vector<int> args;
  if (auto open = d.find('('); open != std::string::npos) {
    std::size_t i = open + 1;
    while (i < d.size()) {
      while (i < d.size() && (d[i] == ' ' || d[i] == ',')) ++i;
      if (i < d.size() && std::isdigit(static_cast<unsigned char>(d[i]))) {
        args.push_back(std::atoi(d.c_str() + i));
        while (i < d.size() && std::isdigit(static_cast<unsigned char>(d[i]))) ++i;
      } else {
        if (d.compare(i, 3, "max") == 0) args.push_back(0);
        break;
      }
    }
  }
  t.known = true;
  if (base == "decimal" || base == "numeric" || base == "money" || base == "smallmoney") {
    t.type = FieldType::kDecimal;
    t.precision = args.empty() ? 18 : args[0];
    t.scale = args.size() > 1 ? args[1] : (base == "money" || base == "smallmoney" ? 4 : 0);
  } else if (base == "int" || base == "integer" || base == "smallint" || base == "tinyint" ||
             base == "bigint") {
    t.type = FieldType::kInteger;
  } else if (base == "bit") {
    t.type = FieldType::kBool;
  } else if (base == "float" || base == "real" || base == "double") {
    t.type = FieldType::kDouble;
  } else if (base == "datetime" || base == "smalldatetime" || base == "date" ||
             base == "datetime2") {
    t.type = FieldType::kDate;
  } else if (base == "char" || base == "nchar") {
    t.type = FieldType::kText;
    t.size = args.empty() ? 1 : args[0];
    t.fixed_length = true;
  } else if (base == "varchar" || base == "nvarchar" || base == "text" || base == "ntext") {
    t.type = FieldType::kText;
    t.size = args.empty() ? (base == "varchar" || base == "nvarchar" ? 1 : 0) : args[0];
  } else if (base == "blob" || base == "varbinary" || base == "image") {
    t.type = FieldType::kBinary;
  } else {
    t.known = false;
  }
  return t;
}

bool IsDefinition(std::string_view sql) {
  while (!sql.empty() && std::isspace(static_cast<unsigned char>(sql.front())))
    sql.remove_prefix(1);
  std::string word = AsciiLower(sql.substr(0, 6));
  return word.starts_with("create") || word.starts_with("drop") || word.starts_with("alter");
}

std::size_t CountCharacters(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

Value DecimalFromText(const DeclaredType& type, std::string text) {
  Decimal d;
  if (!Decimal::TryParse(text, &d)) return Value(std::move(text));
  return Value(d.Round(type.scale).Rescale(type.scale));
}

std::string PadFixedLength(const DeclaredType& type, std::string text) {
  if (!type.fixed_length) return text;
  const std::size_t n = CountCharacters(text);
  if (n < static_cast<std::size_t>(type.size)) {
    text.append(static_cast<std::size_t>(type.size) - n, ' ');
  }
  return text;
}

Value ValueForColumn(std::string_view table, std::string_view column, const DeclaredType& type,
                     const Value& v) {
  if (v.is_null() || v.is_empty()) return Value(Null{});
  try {
    switch (type.type) {
      case FieldType::kText: {
        std::string s = v.ToText();
        if (type.size > 0 && CountCharacters(s) > static_cast<std::size_t>(type.size)) {
          throw DataError(fmt::format(
              "String or binary data would be truncated in table '{}', column '{}'. Truncated "
              "value: '{}'.",
              table, column, s.substr(0, static_cast<std::size_t>(type.size))));
        }
        return Value(std::move(s));
      }
      case FieldType::kDecimal: {
        // Half away from zero, as SQL Server rounds a decimal into a smaller scale.
        Decimal d = v.ToDecimal().Round(type.scale, RoundingMode::kHalfUp);
        Decimal limit = Decimal(1);
        for (int i = 0; i < type.precision - type.scale; ++i) limit *= Decimal(10);
        if ((d.sign() < 0 ? -d : d) >= limit) {
          throw DataError(fmt::format(
              "Arithmetic overflow error converting {} to data type numeric for column '{}' of "
              "table '{}'.",
              v.Describe(), column, table));
        }
        return Value(d);
      }
      case FieldType::kInteger:
        return Value(v.ToInteger());
      case FieldType::kBool:
        return Value(v.ToBool());
      case FieldType::kDouble:
        return Value(v.ToDouble());
      case FieldType::kDate:
        return Value(v.ToDate());
      case FieldType::kBinary:
        return v;
    }
  } catch (const ConversionError& e) {
    throw DataError(fmt::format("table '{}', column '{}': cannot store {}: {}", table, column,
                                v.Describe(), e.what()));
  }
  return v;
}

std::filesystem::path AttachedFile(const std::filesystem::path& erp_folder,
                                   const bridge::Attachment& a, std::string_view sql) {
  std::filesystem::path file = a.linked_server.empty()
                                   ? erp_folder / (a.database + ".db")
                                   : erp_folder / "linked" / a.linked_server / (a.database + ".db");
  if (!std::filesystem::exists(file)) {
    std::string where = a.linked_server.empty() ? fmt::format("gym database '{}'", a.database)
                                                : fmt::format("database '{}' on linked server '{}'",
                                                              a.database, a.linked_server);
    throw DataError(fmt::format("while executing \"{}\": {} not found (expected the file {})", sql,
                                where, file.string()));
  }
  return file;
}

}  // namespace zodadovez::sqlite
