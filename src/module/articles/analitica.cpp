// The five-level analytic branch of an article (PC03_ANAGPDC) and its project (PD68_PROGETTI).
#include "module/articles/analitica.h"

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

#include "module/common/database.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/common/value.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

bool Blank(const std::string& value) { return RTrimNz(Value(value)).empty(); }

std::size_t Length(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The first `n` characters of a UTF-8 text (a letter is never split).
std::string First(std::string_view text, std::size_t n) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == n) {
      return std::string(text.substr(0, i));
    }
  }
  return std::string(text);
}

// The last `n` characters of a UTF-8 text.
std::string Last(std::string_view text, std::size_t n) {
  const std::size_t length = Length(text);
  if (length <= n) return std::string(text);
  std::size_t skip = length - n;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && skip-- == 0) break;
  }
  return std::string(text.substr(i));
}

std::string Trim(const std::string& value) {
  const std::size_t first = value.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

// A part of the account code: cut to its width, or padded with blanks on the right.
std::string Fixed(std::string_view text, std::size_t width) {
  std::string part = First(text, width);
  part.append(width - Length(part), ' ');
  return part;
}

// What one level of the branch is: the parts it keeps, its significant length and description.
struct Level {
  std::string a, b, c, d, e;
  std::size_t significant = 0;
  std::string description;
};

Level ComputeLevel(const ImportRun& run, std::int16_t level) {
  const RowFields& row = run.document.row;
  Level l;
  l.a = Fixed("Z" + First(row.service_type, 1), 2);
  l.b = Blank(row.stat_group1) && Blank(row.stat_group2)
            ? std::string("   ")
            : Fixed(Last(row.stat_group1, 2) + First(row.stat_group2, 1), 3);
  l.c = "00";
  l.d = Fixed(PadLeft(Value(Last(Trim(row.brand_code), 4)), 4), 4);
  l.e = Fixed(PadLeft(Value(std::to_string(run.article_number)), 4), 4);

  // Each level keeps the parts above it and zeroes the rest.
  switch (level) {
    case 1:
      l.b = "   ";
      l.c = "00";
      l.d = "0000";
      l.e = "0000";
      l.significant = 2;
      l.description = row.family_description;
      break;
    case 2:
      l.c = "00";
      l.d = "0000";
      l.e = "0000";
      l.significant = 5;
      l.description = row.stat_group1 + " " + row.stat_group2;
      break;
    case 3:
      l.d = "0000";
      l.e = "0000";
      l.significant = 7;
      break;
    case 4:
      l.e = "0000";
      l.significant = 11;
      l.description = row.brand_description;
      break;
    case 5:
      l.significant = 15;
      l.description = row.article_description;
      break;
    default:
      throw Error("Scrivo_AnagAnalitica: level " + std::to_string(level) + " is not 1 to 5", 5);
  }
  return l;
}

// A level never stored yet is written as Null.
Value Stored(const Value& value) { return value.is_empty() ? Value(Null()) : value; }

}  // namespace

void Scrivo_AnagAnalitica(ImportRun& run, std::int16_t level) {
  try {
    const Level l = ComputeLevel(run, level);
    const std::string code = l.a + l.b + l.c + l.d + l.e;
    // The first level shows its empty duration and period as stars in the formatted code.
    std::string formatted_b = l.b;
    if (level == 1) {
      for (char& c : formatted_b) {
        if (c == ' ') c = '*';
      }
    }
    const std::string formatted = l.a + "/" + formatted_b + "/" + l.c + "/" + l.d + "/" + l.e;

    // The memory holds the branch being written: this level and the ones below it take the
    // new codes, and the level above is the parent.
    AnalyticLevel* levels = run.document.analytic_levels;
    const AnalyticLevel parent =
        level > 1 ? levels[level - 1] : AnalyticLevel{Value(Null()), Value(Null())};
    for (int k = level; k <= 5; ++k) levels[k] = AnalyticLevel{Value(code), Value(formatted)};

    WritableRecordset rs =
        run.db().open_for_insert("SELECT * FROM PC03_ANAGPDC WHERE PC03_CODICE_PC01 = " +
                               std::to_string(run.company_parameters.analytic_chart) +
                               " AND PC03_CONTO = " + SqlQuote(code));
    if (!rs.eof()) return;
    rs.add_new();
    rs.set("PC03_CODICE_PC01", static_cast<long long>(run.company_parameters.analytic_chart));
    rs.set("PC03_CONTO", code);
    rs.set("PC03_DESCR", l.description);
    rs.set("PC03_TIPOCONTOCI", 7);
    rs.set("PC03_FLGGESCOSULT", 0);
    rs.set("PC03_FLGQUADRATURA", 0);
    rs.set("PC03_TIPOCONTORICL", 0);
    rs.set("PC03_INDSEGNO", 0);
    rs.set("PC03_FLGVISTOTMAS", 0);
    rs.set("PC03_FLGPARTINFRA", 0);
    rs.set("PC03_INDFONTIUSI", 0);
    rs.set("PC03_INDFLUSSITESOR", 0);
    rs.set("PC03_INDPROVCOSTO", 2);
    rs.set("PC03_INDVARCOSTO", 0);
    rs.set("PC03_PARENT", Stored(parent.code));
    rs.set("PC03_PARENTF", Stored(parent.formatted));
    for (int k = 1; k <= 5; ++k) {
      rs.set("PC03_LIVELLO" + std::to_string(k), Stored(levels[k].code));
    }
    rs.set("PC03_NRLIVELLO", static_cast<int>(level));
    // Only the article's own account, the one with a number, takes postings.
    rs.set("PC03_ISANALITICO", l.e != "0000");
    rs.set("PC03_CONTOF", formatted);
    for (int k = 1; k <= 5; ++k) {
      rs.set("PC03_LIVELLO" + std::to_string(k) + "F", Stored(levels[k].formatted));
    }
    rs.set("PC03_CODEHEADER", First(code, l.significant));
    rs.set("PC03_FLGSCHEDAAUTO", 0);
    rs.set("PC03_CMINDMODELLO", 1);
    rs.update_batch();
  } catch (const std::exception& e) {
    run.RecordError("Scrivo_AnagAnalitica", e);
  }
}

void ScriviRamoAnalitico(ImportRun& run) {
  for (std::int16_t level = 1; level <= 5; ++level) Scrivo_AnagAnalitica(run, level);
}

void Scrivo_Progetto(ImportRun& run, const std::string& code, const std::string& description) {
  try {
    const RowFields& row = run.document.row;
    WritableRecordset rs = run.db().open_for_insert(
        "SELECT * FROM PD68_PROGETTI WHERE PD68_DITTA_CG18 = " + std::to_string(run.company) +
        " AND PD68_CODPROG = " + SqlQuote(code));
    if (!rs.eof()) return;
    rs.add_new();
    rs.set("PD68_DITTA_CG18", run.company);
    rs.set("PD68_CODPROG", code);
    rs.set("PD68_DESCRPROG", UpperCase(First(description, 60)));
    rs.set("PD68_STATO", 0);
    // The project is classified by the analytic classes its article's classification created.
    if (!Blank(row.service_type)) rs.set("PD68_CLASSEA_PD1F", row.service_type);
    if (!Blank(row.subfamily_code)) rs.set("PD68_CLASSEB_PD1G", row.subfamily_code);
    if (!Blank(row.group_code)) rs.set("PD68_CLASSEC_PD1H", row.group_code);
    rs.set("PD68_NUMCONF_NODI", 0);
    rs.set("PD68_NUMCONF_ATT", 0);
    rs.set("PD68_NUMCONF_SPE", 0);
    rs.update_batch();
  } catch (const std::exception& e) {
    run.RecordError("Scrivo_Progetto", e);
  }
}

}  // namespace zodadovez
