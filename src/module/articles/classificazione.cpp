// The classification rows an article points to, created when missing and never changed.
#include "module/articles/classificazione.h"

#include <cstddef>
#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "module/common/database.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/value.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// Nz(value, "") as text: "" for a blank text, else the text unchanged.
std::string Text(const std::string& value) { return Nz(Value(value)).ToText(); }
// Nz(value, default) as text.
std::string TextOr(const std::string& value, const std::string& default_value) {
  return Nz(Value(value), Value(default_value)).ToText();
}
bool Blank(const std::string& value) { return RTrimNz(Value(value)).empty(); }
std::string Trim(const std::string& value) {
  const std::size_t first = value.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return value.substr(first, value.find_last_not_of(' ') - first + 1);
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
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

// Descriptions of classification rows fit 30 characters; a blank one leaves the column Null.
void SetDescription(WritableRecordset& rs, std::string_view column, const std::string& text) {
  if (!Blank(text)) rs.set(column, First(text, 30));
}

bool Hierarchical(const ImportRun& run) {
  return TextOr(run.company_parameters.classification_hierarchy, "0") == "1";
}

// The hierarchy setting as the number the analytic classes store; anything that is not a
// number counts as 0, the independent levels.
double HierarchyFlag(const ImportRun& run) {
  try {
    return Value(run.company_parameters.classification_hierarchy).ToDouble();
  } catch (const Error&) {
    return 0;
  }
}

// Bar products carry no analytic classes below the family.
bool IsBar(const ImportRun& run) { return run.document.row.service_type == run.service_type_bar; }

// Inserts the row that `fill` assigns when `select` finds none.
void InsertWhenMissing(ImportRun& run, const std::string& select,
                       const std::function<void(WritableRecordset&)>& fill) {
  WritableRecordset rs = run.db().open_for_insert(select);
  if (!rs.eof()) return;
  rs.add_new();
  fill(rs);
  rs.update_batch();
}

const char* KindDescription(std::int16_t kind) {
  switch (kind) {
    case 1:
      return "Abbonamenti";
    case 2:
      return "Ticketing";
    case 3:
      return "Vendite";
    case 4:
      return "Quota associativa";
    case 5:
      return "Prenotazioni";
    case 6:
      return "Agenda avanzata";
    case 7:
      return "Borsellino";
    case 12:
      return "Bollo";
    default:
      return " ";
  }
}

}  // namespace

void VerificaFamiglia(ImportRun& run, const std::string& description, std::int16_t kind) {
  try {
    run.state.abort = 0;
    const std::string service_type = Text(run.document.row.service_type);
    if (Blank(service_type)) return;

    // A service type without a description of its own is named after its kind; subscription
    // descriptions begin with this text.
    std::string& family_description = run.document.row.family_description;
    family_description = Blank(description) ? KindDescription(kind) : description;

    InsertWhenMissing(
        run,
        " SELECT MG53_DITTA_CG18, MG53_CODFAM, MG53_DESCRFAM  FROM MG53_FAMIGLIE WHERE "
        "MG53_DITTA_CG18 = " +
            std::to_string(run.company) + " AND MG53_CODFAM = " + SqlQuote(service_type),
        [&](WritableRecordset& rs) {
          rs.set("MG53_DITTA_CG18", run.company);
          rs.set("MG53_CODFAM", service_type);
          SetDescription(rs, "MG53_DESCRFAM", family_description);
        });

    InsertWhenMissing(
        run,
        " SELECT *  FROM PD1F_CLASSEAPROG WHERE PD1F_DITTA_CG18 = " + std::to_string(run.company) +
            " AND PD1F_CODICE = " + SqlQuote(service_type),
        [&](WritableRecordset& rs) {
          rs.set("PD1F_DITTA_CG18", run.company);
          rs.set("PD1F_CODICE", service_type);
          rs.set("PD1F_INDCLASSE", 0);
          rs.set("PD1F_FLGGERARCHICO", HierarchyFlag(run));
          SetDescription(rs, "PD1F_DESCR", family_description);
        });
  } catch (const std::exception& e) {
    run.RecordError("VerificaFamiglia", e);
  }
}

void VerificaSFamiglia(ImportRun& run, const std::string& code,
                       const std::string& description) {
  try {
    const std::string service_type = Text(run.document.row.service_type);
    const std::string subfamily = Text(code);
    const bool hierarchical = Hierarchical(run);
    // Independent levels put every subfamily under one blank family; the row stores it as
    // empty text, which the ERP's collation compares equal to the blank of the lookup.
    const std::string family_key = hierarchical ? service_type : " ";

    InsertWhenMissing(
        run,
        " SELECT MG54_DITTA_CG18, MG54_CODFAM_MG53, MG54_CODSFAM, MG54_DESCRSFAM  FROM "
        "MG54_SOTTOFAM WHERE MG54_DITTA_CG18 = " +
            std::to_string(run.company) + " AND MG54_CODFAM_MG53 = " +
            SqlQuote(TextOr(family_key, " ")) + " AND MG54_CODSFAM = " + SqlQuote(subfamily),
        [&](WritableRecordset& rs) {
          rs.set("MG54_DITTA_CG18", run.company);
          rs.set("MG54_CODFAM_MG53", Text(family_key));
          rs.set("MG54_CODSFAM", subfamily);
          SetDescription(rs, "MG54_DESCRSFAM", description);
        });

    if (IsBar(run)) return;

    std::string select =
        " SELECT *  FROM PD1G_CLASSEBPROG WHERE PD1G_DITTA_CG18 = " + std::to_string(run.company) +
        " AND PD1G_CODICE = " + SqlQuote(subfamily);
    if (hierarchical) select += " AND PD1G_CLASSEA_PD1F = " + SqlQuote(service_type);
    InsertWhenMissing(run, select, [&](WritableRecordset& rs) {
      rs.set("PD1G_DITTA_CG18", run.company);
      rs.set("PD1G_CODICE", subfamily);
      rs.set("PD1G_INDCLASSE", 0);
      rs.set("PD1G_FLGGERARCHICO", HierarchyFlag(run));
      SetDescription(rs, "PD1G_DESCR", description);
      if (hierarchical) rs.set("PD1G_CLASSEA_PD1F", service_type);
    });
  } catch (const std::exception& e) {
    run.RecordError("VerificaSFamiglia", e);
  }
}

void VerificaGruppo(ImportRun& run, const std::string& code, const std::string& description) {
  try {
    const std::string service_type = Text(run.document.row.service_type);
    const std::string group = Text(code);
    const bool hierarchical = Hierarchical(run);
    const std::string family_key = hierarchical ? service_type : " ";
    const std::string subfamily_key = hierarchical ? Text(run.document.row.subfamily_code) : " ";

    InsertWhenMissing(
        run,
        " SELECT MG55_DITTA_CG18, MG55_CODFAM_MG53, MG55_CODSFAM_MG54, MG55_CODGRUPPO, "
        "MG55_DESCRGRUPPO  FROM MG55_GRUPPI WHERE MG55_DITTA_CG18 = " +
            std::to_string(run.company) +
            " AND MG55_CODFAM_MG53 = " + SqlQuote(TextOr(family_key, " ")) +
            " AND MG55_CODSFAM_MG54 = " + SqlQuote(TextOr(subfamily_key, " ")) +
            " AND MG55_CODGRUPPO = " + SqlQuote(group),
        [&](WritableRecordset& rs) {
          rs.set("MG55_DITTA_CG18", run.company);
          rs.set("MG55_CODFAM_MG53", family_key);
          rs.set("MG55_CODSFAM_MG54", subfamily_key);
          rs.set("MG55_CODGRUPPO", group);
          SetDescription(rs, "MG55_DESCRGRUPPO", description);
        });

    if (IsBar(run)) return;

    // Class C is one per code whatever the hierarchy; only its parent class B differs.
    InsertWhenMissing(run,
                      " SELECT *  FROM PD1H_CLASSECPROG WHERE PD1H_DITTA_CG18 = " +
                          std::to_string(run.company) + " AND PD1H_CODICE = " + SqlQuote(group),
                      [&](WritableRecordset& rs) {
                        rs.set("PD1H_DITTA_CG18", run.company);
                        rs.set("PD1H_CODICE", group);
                        rs.set("PD1H_INDCLASSE", 0);
                        SetDescription(rs, "PD1H_DESCR", description);
                        if (hierarchical) rs.set("PD1H_CLASSEB_PD1G", subfamily_key);
                      });
  } catch (const std::exception& e) {
    run.RecordError("VerificaGruppo", e);
  }
}

void VerificaMarca(ImportRun& run, const std::string& code, const std::string& description) {
  try {
    const std::string brand = Text(code);
    InsertWhenMissing(
        run,
        " SELECT MG64_DITTA_CG18, MG64_CODMARCA, MG64_DESCRMARCA  FROM MG64_MARCHEART WHERE "
        "MG64_DITTA_CG18 = " +
            std::to_string(run.company) + " AND MG64_CODMARCA = " + SqlQuote(brand),
        [&](WritableRecordset& rs) {
          rs.set("MG64_DITTA_CG18", run.company);
          rs.set("MG64_CODMARCA", brand);
          SetDescription(rs, "MG64_DESCRMARCA", description);
        });
  } catch (const std::exception& e) {
    run.RecordError("VerificaMarca", e);
  }
}

void VerificaGruppoStat(ImportRun& run, const std::string& code, const std::string& group) {
  try {
    const std::string stat_code = Text(code);
    const std::string number = Trim(group);
    // The two tables differ only in their number: group 2 reads the same statement renamed.
    std::string select =
        " SELECT MG74_DITTA_CG18, MG74_CODGRUSTAT1, MG74_DESGRUSTAT1  FROM MG74_GRUSTAT1 WHERE "
        "MG74_DITTA_CG18 = " +
        std::to_string(run.company) + " AND MG74_CODGRUSTAT1 = " + SqlQuote(stat_code);
    if (number == "2") {
      ReplaceAll(select, "MG74", "MG75");
      ReplaceAll(select, "STAT1", "STAT2");
    }
    InsertWhenMissing(run, select, [&](WritableRecordset& rs) {
      // The gym offers no description of its durations and periods: the code names itself.
      if (number == "1") {
        rs.set("MG74_DITTA_CG18", run.company);
        rs.set("MG74_CODGRUSTAT1", stat_code);
        SetDescription(rs, "MG74_DESGRUSTAT1", stat_code);
      } else {
        rs.set("MG75_DITTA_CG18", run.company);
        rs.set("MG75_CODGRUSTAT2", stat_code);
        SetDescription(rs, "MG75_DESGRUSTAT2", stat_code);
      }
    });
  } catch (const std::exception& e) {
    run.RecordError("VerificaGruppoStat", e);
  }
}

}  // namespace zodadovez
