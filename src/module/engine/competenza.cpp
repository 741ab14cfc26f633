// PrendoDateCompetenza: the competence period of a receipt and of its rows.
#include "module/engine/competenza.h"

#include <cstdint>
#include <exception>
#include <string>

#include "module/common/database.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// From this patch level the gym keeps on each receipt row the period it was sold for.
constexpr std::int32_t kRowPeriodPatch = 514100;

// A field as the context keeps it: Empty for Null.
Value AsRead(const Value& value) { return value.is_null() ? Value() : value; }

bool IsDate(const Value& value) {
  if (value.kind() == ValueKind::kDate) return true;
  if (!value.is_text()) return false;
  DateTime ignored;
  return TryParseItalianDate(value.as_text(), &ignored) ||
         TryParseIsoDate(value.as_text(), &ignored);
}

bool IsBlank(const Value& value) {
  return value.is_empty() || value.is_null() ||
         (value.is_text() && value.as_text().find_first_not_of(' ') == std::string::npos);
}

std::string Query(const ImportRun& run, std::int32_t row_id) {
  const std::string& gym = run.state.gym_database;
  const DocumentContext& d = run.document;
  const bool row_level = row_id != 0;
  std::string sql = " select distinct T.DataRicevuta, AI.datainizio,AI.datafine ";
  if (row_level && run.state.patch_level >= kRowPeriodPatch) {
    sql += ", R.DataInizioOrigine, R.DataFineOrigine ";
  }
  sql += "from " + gym + ".dbo.RicevuteTestata as T  with (NOLOCK) inner join " + gym +
         ".dbo.Ricevuteriga as R  with (NOLOCK) on T.idricevuta=R.idricevuta left outer join " +
         gym +
         ".dbo.CassaMovimenti as C  with (NOLOCK) on R.idcassamovimento=C.idcassamovimento and "
         "t.IDRicevuteAzienda = c.IDRicevutaAzienda ";
  // At row level the till movement must be the row's own, not any movement of the receipt.
  if (row_level) sql += " AND R.IdRicevuteRiga = C.IdRicevuteRiga ";
  sql += " left outer join " + gym +
         ".dbo.AbbonamentiIscrizione as AI  with (NOLOCK) on C.idiscrizione=AI.idiscrizione ";
  sql += " Where T.numeroricevuta = " + std::to_string(d.receipt_number) +
         "   AND T.IDRicevuteAzienda = " + std::to_string(d.gym_company) +
         " AND T.IDRicevuta = " + d.receipt_id.ToString();
  if (row_level) sql += " AND R.IdRicevuteRiga = " + std::to_string(row_id);
  return sql;
}

}  // namespace

void PrendoDateCompetenza(ImportRun& run, std::int32_t& row_id) {
  try {
    Recordset rs = run.db().open(Query(run, row_id));
    if (rs.eof()) return;
    DocumentContext& d = run.document;
    const Value enrolment_start = AsRead(rs["Datainizio"]);
    const Value enrolment_end = AsRead(rs["Datafine"]);

    if (row_id != 0) {
      Value start = enrolment_start;
      Value end = enrolment_end;
      if (run.state.patch_level >= kRowPeriodPatch) {
        // The row's own period wins, but only whole: half a period falls back to the
        // enrolment's.
        start = AsRead(rs["DataInizioOrigine"]);
        end = AsRead(rs["DataFineOrigine"]);
        if (IsBlank(start) || IsBlank(end)) {
          start = enrolment_start;
          end = enrolment_end;
        }
      }
      bool usable = !IsBlank(start) && !IsBlank(end);
      if (usable && IsDate(start) && IsDate(end) && end.ToDate() < start.ToDate()) usable = false;
      d.row_competence_start = usable ? start : d.competence_start;
      d.row_competence_end = usable ? end : d.competence_end;
      return;
    }

    // A receipt without a sound subscription period is revenue of its own day.
    bool usable = IsDate(enrolment_start) && IsDate(enrolment_end) &&
                  !(enrolment_end.ToDate() < enrolment_start.ToDate());
    if (usable) {
      d.competence_start = enrolment_start;
      d.competence_end = enrolment_end;
    } else {
      d.competence_start = AsRead(rs["DataRicevuta"]);
      d.competence_end = AsRead(rs["DataRicevuta"]);
    }
  } catch (const std::exception& e) {
    run.RecordError("PrendoDateCompetenza", e);
  }
}

}  // namespace zodadovez
