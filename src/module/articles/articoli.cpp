// The article writer: the MG66_ANAGRART master row of a new article, its companion rows and its
// progressive number within the family.
#include "module/articles/articoli.h"

#include <chrono>
#include <cstddef>
#include <exception>
#include <limits>
#include <string>
#include <string_view>

#include "module/articles/analitica.h"
#include "module/common/database.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/transaction.h"
#include "module/common/text_compare.h"
#include "module/common/value.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// Nz(value, "") as text.
std::string Text(const std::string& value) { return Nz(Value(value)).ToText(); }
bool Blank(const std::string& value) { return RTrimNz(Value(value)).empty(); }

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

// The current date without its time, as the ERP dates its master rows.
Value Today(ImportRun& run) {
  return Value(std::chrono::time_point_cast<std::chrono::seconds>(
      std::chrono::floor<std::chrono::days>(run.clock().Now())));
}

// Progressive numbers are 16-bit in MG43_NUMPERS1: a family past 32767 articles overflows.
std::int16_t ToInt16(const Value& value) {
  const std::int64_t n = value.ToInteger();
  if (n < std::numeric_limits<std::int16_t>::min() ||
      n > std::numeric_limits<std::int16_t>::max()) {
    throw ArithmeticError("progressive number " + std::to_string(n) + " beyond 16 bits",
                          ArithmeticError::kOverflow);
  }
  return static_cast<std::int16_t>(n);
}

// The companion rows of one article: "SELECT * FROM <table> WHERE <company> AND <article>".
std::string ArticleKey(const ImportRun& run, std::string_view prefix,
                       const std::string& code) {
  return "SELECT * FROM " + std::string(prefix) + " WHERE " + std::string(prefix.substr(0, 4)) +
         "_DITTA_CG18 = " + std::to_string(run.company) + " AND " + std::string(prefix.substr(0, 4)) +
         "_CODART_MG66 = " + SqlQuote(code);
}

// The option narrows the companion rows only when one is given; the writer passes none.
std::string OptionCondition(std::string_view table, const std::string& option) {
  if (Blank(option)) return std::string();
  return " AND " + std::string(table) + "_OPZIONE_MG5E = " + SqlQuote(option);
}

// The columns of a new article after its classification, with their fixed values, in the
// order they are assigned.
struct Setting {
  const char* column;
  int value;
};
constexpr Setting kArticleSettings[] = {
    {"MG66_FLGIVARID", 0},      {"MG66_FLGIVACOMP", 0},     {"MG66_INDUM2", 0},
    {"MG66_INDFATCONV", 0},     {"MG66_INDCALCQTA1", 1},    {"MG66_INDCALCQTA2", 0},
    {"MG66_INDCALCPRE1", 1},    {"MG66_INDCALCPRE2", 0},    {"MG66_DIVPREZ", 0},
    {"MG66_FLGCALOPESO", 0},    {"MG66_INDFITTIZIO", 0},    {"MG66_FLGVARDESC", 0},
    {"MG66_FLGSOLOIMPR", 0},    {"MG66_FLGARTESAUR", 0},    {"MG66_FLGEXSCORM", 0},
    {"MG66_FLGSTGIOR", 0},      {"MG66_FLGSTINV", 0},       {"MG66_FLGINVPRE0", 0},
    {"MG66_FLGARTFOR", 0},      {"MG66_FLGARTCLI", 0},      {"MG66_FLGALTER", 0},
    {"MG66_FLGSOST", 0},        {"MG66_FLGCONC", 0},        {"MG66_FLGCAMART", 0},
    {"MG66_FLGCAMPGRU", 0},     {"MG66_FLGBASEVAR", 0},     {"MG66_FLGVARIATO", 0},
    {"MG66_FLGSTAGION", 0},     {"MG66_FLGVARART", 1},      {"MG66_INDDECQTA", 0},
    {"MG66_FLGQTANEG", 0},      {"MG66_FLGCONFMULT", 0},    {"MG66_FLGUBICDINAM", 0},
    {"MG66_INDQTAMUL", 0},      {"MG66_INDSPACQ", 0},       {"MG66_INDTOTART", 0},
    {"MG66_FLGESCLSCPIEDE", 0}, {"MG66_INDSPVEN", 0},       {"MG66_FLGCONTRIBINTEG", 0},
    {"MG66_FLGRITACC", 0},      {"MG66_FLGRITENAS", 0},     {"MG66_FLGCONTRIBPREV", 0},
    {"MG66_FLGQUALITA", 0},     {"MG66_INDSTATO_MG6W", 50}, {"MG66_INDGENVARDIBA", 0},
    {"MG66_INDVARERIDIBA", 0},
};

constexpr Setting kStockSettings[] = {
    {"MG67_INDCALQTAFABB", 6}, {"MG67_INDGESSCORFAB", 1}, {"MG67_LIVELLORIORD", 0},
    {"MG67_FLGSCORSICUR", 0},  {"MG67_LOTTOECONOM", 0},   {"MG67_LOTTORIOD", 0},
    {"MG67_GGARRMERCE", 0},    {"MG67_SCORTAMIN", 0},     {"MG67_SCORTAMAX", 0},
    {"MG67_FLGSCORTEAUT", 1},  {"MG67_INDGESLOTTO", 0},   {"MG67_FLGCONSMENS", 0},
    {"MG67_FLGDEPPREF", 1},    {"MG67_FRAZMRP", 0},       {"MG67_INDDEPPRELVERS", 0},
};

constexpr Setting kPackagingSettings[] = {
    {"MG68_FLGCONFPREF", 0}, {"MG68_PZCONF", 1},     {"MG68_PESON", 0},         {"MG68_PESOL", 0},
    {"MG68_CAPAC", 0},       {"MG68_LARGH", 0},      {"MG68_ALTEZ", 0},         {"MG68_PROF", 0},
    {"MG68_VOLUME", 0},      {"MG68_CONFXCOLLO", 0}, {"MG68_COLLIXBANCALE", 0},
};

template <std::size_t N>
void SetAll(WritableRecordset& rs, const Setting (&settings)[N]) {
  for (const Setting& s : settings) rs.set(s.column, s.value);
}

void SetWhenPresent(WritableRecordset& rs, std::string_view column, const std::string& value) {
  if (!Blank(value)) rs.set(column, value);
}

// The description an article is known by: the coded description followed by the duration as
// a number and the period, so that the subscriptions of one kind read apart.
std::string ExtendedDescription(const RowFields& row, const std::string& description) {
  std::string text = Text(description);
  if (!Blank(row.stat_group1)) {
    text = RTrimNz(Value(text)) + " " + Value(row.stat_group1).ToDecimal().ToItalianString();
  }
  if (!Blank(row.stat_group2)) {
    text = RTrimNz(Value(text)) + " " + row.stat_group2;
  }
  return text;
}

// The deposit of the receipt's gym company; before any receipt has set it, the host's default.
std::string Deposit(const ImportRun& run) {
  return Blank(run.document.deposit) ? run.company_parameters.default_deposit : run.document.deposit;
}

}  // namespace

void ScrivoArticolo(ImportRun& run, const std::string& code, std::string description,
                    bool create_analytic) {
  try {
    RowFields& row = run.document.row;
    const std::string extended = ExtendedDescription(row, description);
    row.article_description = extended;

    WritableRecordset rs = run.db().open_for_insert(
        "SELECT * FROM MG66_ANAGRART WHERE MG66_DITTA_CG18 = " + std::to_string(run.company) +
        " AND MG66_CODART = " + SqlQuote(code));
    if (rs.eof()) {
      // The article and its companions are written together: an article found without them
      // would never get them, for only a new article is completed.
      Transaction transaction(run.db());
      const Value today = Today(run);
      rs.add_new();
      rs.set("MG66_DITTA_CG18", run.company);
      rs.set("MG66_CODART", code);
      rs.set("MG66_DTCREAZ", today);
      rs.set("MG66_DTULTAGGANAG", today);
      rs.set("MG66_DTDISMISART", Null());
      rs.set("MG66_UM1", std::string());
      rs.set("MG66_FLGARRPRZ", 0);
      rs.set("MG66_FAM_MG53", row.service_type);
      SetWhenPresent(rs, "MG66_SFAM_MG54", row.subfamily_code);
      SetWhenPresent(rs, "MG66_GRUPPO_MG55", row.group_code);
      SetWhenPresent(rs, "MG66_MARCA_MG64", row.brand_code);
      SetWhenPresent(rs, "MG66_GRUSTAT1_MG74", row.stat_group1);
      SetWhenPresent(rs, "MG66_GRUSTAT2_MG75", row.stat_group2);
      rs.set("MG66_ALIVA_CG28", row.vat_code);
      SetAll(rs, kArticleSettings);
      rs.update_batch();

      // Each companion reports its own failure; the others are still written.
      const std::string deposit = Deposit(run);
      ScrivoArtPers(run, code);
      ScrivoScorte(run, code, "", deposit);
      ScrivoConfezioni(run, code, "", deposit);
      Scrivo_DescrizioneArt(run, code, "", extended);
      transaction.Commit();
    } else {
      run.article_number = Leggi_NumeroArticolo(run, code);
    }

    if (create_analytic) ScriviRamoAnalitico(run);
    // The project is named after the service, not after its duration and period.
    // A caller may pass the article description field itself, which step 1 has just extended:
    // the description is taken by value so that the project gets it as it was passed.
    if (!Blank(row.project_code)) Scrivo_Progetto(run, row.project_code, description);
  } catch (const std::exception& e) {
    run.RecordError("ScrivoArticolo", e);
  }
}

void ScrivoArtPers(ImportRun& run, const std::string& code) {
  try {
    WritableRecordset rs =
        run.db().open_for_insert(ArticleKey(run, "MG43_ARTPERS", code) + " AND MG43_PROG = 1");
    if (!rs.eof()) return;
    const std::int16_t number = ToInt16(Value(static_cast<int>(Max_NumeroFamiglia(run)) + 1));
    run.article_number = number;
    rs.add_new();
    rs.set("MG43_DITTA_CG18", run.company);
    rs.set("MG43_CODART_MG66", code);
    rs.set("MG43_PROG", 1);
    rs.set("MG43_NUMPERS1", static_cast<int>(number));
    rs.update_batch();
  } catch (const std::exception& e) {
    run.RecordError("ScrivoArtPers", e);
  }
}

void ScrivoScorte(ImportRun& run, const std::string& code, const std::string& option,
                  const std::string& deposit) {
  try {
    WritableRecordset rs = run.db().open_for_insert(ArticleKey(run, "MG67_SCORTE", code) +
                                                  OptionCondition("MG67", option) +
                                                  " AND MG67_CODDEP_MG58 = " + SqlQuote(deposit));
    if (!rs.eof()) return;
    rs.add_new();
    rs.set("MG67_DITTA_CG18", run.company);
    rs.set("MG67_CODART_MG66", code);
    rs.set("MG67_OPZIONE_MG5E", option);
    rs.set("MG67_CODDEP_MG58", deposit);
    SetAll(rs, kStockSettings);
    rs.update_batch();
  } catch (const std::exception& e) {
    run.RecordError("ScrivoScorte", e);
  }
}

void ScrivoConfezioni(ImportRun& run, const std::string& code, const std::string& option,
                      const std::string& packaging) {
  try {
    WritableRecordset rs = run.db().open_for_insert(
        ArticleKey(run, "MG68_CONFART", code) + OptionCondition("MG68", option) +
        " AND MG68_CODCONFEZ_MG96 = " + SqlQuote(packaging));
    if (!rs.eof()) return;
    rs.add_new();
    rs.set("MG68_DITTA_CG18", run.company);
    rs.set("MG68_CODART_MG66", code);
    rs.set("MG68_OPZIONE_MG5E", option);
    rs.set("MG68_CODCONFEZ_MG96", packaging);
    SetAll(rs, kPackagingSettings);
    rs.update_batch();
  } catch (const std::exception& e) {
    run.RecordError("ScrivoConfezioni", e);
  }
}

void Scrivo_DescrizioneArt(ImportRun& run, const std::string& code, const std::string& option,
                           const std::string& description) {
  try {
    WritableRecordset rs =
        run.db().open_for_insert(ArticleKey(run, "MG87_ARTDESC", code) +
                               OptionCondition("MG87", option) + " AND MG87_LINGUA_MG52 = ''");
    if (!rs.eof()) return;
    rs.add_new();
    rs.set("MG87_DITTA_CG18", run.company);
    rs.set("MG87_CODART_MG66", code);
    rs.set("MG87_OPZIONE_MG5E", option);
    rs.set("MG87_LINGUA_MG52", std::string());
    rs.set("MG87_DESCART", UpperCase(First(description, 72)));
    rs.update_batch();
  } catch (const std::exception& e) {
    run.RecordError("Scrivo_DescrizioneArt", e);
  }
}

std::int16_t Leggi_NumeroArticolo(ImportRun& run, const std::string& code) {
  std::int16_t number = 0;
  try {
    Recordset rs = run.db().open(
        "SELECT ISNULL(MG43_NUMPERS1,0) AS PROG FROM MG43_ARTPERS WITH (NOLOCK)  Where "
        "MG43_DITTA_CG18 = " +
        std::to_string(run.company) + " AND MG43_CODART_MG66 = " + SqlQuote(code) +
        " AND MG43_PROG = 1");
    number = ToInt16(NzDec(rs["PROG"]));
  } catch (const std::exception&) {
    // An article without its personalised row has no number; that is not an anomaly.
    return 0;
  }
  if (number != 0) return number;
  // The row is there but holds no number: it stays as it is, and the number last written or
  // read stands.
  ScrivoArtPers(run, code);
  return run.article_number;
}

std::int16_t Max_NumeroFamiglia(ImportRun& run) {
  try {
    Recordset rs = run.db().open(
        "SELECT MG66_FAM_MG53, MAX(ISNULL(MG43_NUMPERS1,0)) AS MAX FROM MG66_ANAGRART WITH "
        "(NOLOCK)  LEFT OUTER JOIN MG43_ARTPERS WITH (NOLOCK) ON MG43_DITTA_CG18 = "
        "MG66_DITTA_CG18 AND MG43_CODART_MG66 = MG66_CODART AND MG43_PROG = 1 Where "
        "MG66_DITTA_CG18 = " +
        std::to_string(run.company) + " AND MG66_FAM_MG53 = " +
        SqlQuote(run.document.row.service_type) + " GROUP BY MG66_FAM_MG53");
    return ToInt16(NzDec(rs["MAX"]));
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace zodadovez
