// The run history ZEV99_RESULT: creation when missing, the row of the run in progress, and the
// listing from which the start date of the next "Normale" run is proposed.
#include "module/config/storico.h"

#include <fmt/format.h>

#include <chrono>
#include <exception>
#include <string>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

constexpr const char* kCreateTable =
    "CREATE TABLE [dbo].[ZEV99_RESULT] ( [ZEV99_ID] [int] IDENTITY (1, 1) NOT NULL , "
    "[ZEV99_DITTA_CG18] [decimal](5, 0) NULL , [ZEV99_DATA_WORK] [datetime] NULL , "
    "[ZEV99_DATA_INIZIO] [datetime] NULL , [ZEV99_DATA_FINE] [datetime] NULL , "
    "[ZEV99_IDRICEVUTA] [int] NULL, [ZEV99_EXPORT] [varchar] (80)COLLATE "
    "SQL_Latin1_General_CP1_CI_AS NULL , [ZEV99_TOTREC] [decimal] (14, 0) NULL,  "
    "[ZEV99_NUMERR] [decimal] (14, 0) NULL,  [ZEV99_TOTIMP] [decimal] (14, 0) NULL,  "
    "[ZEV99_TIPOELABORA] [decimal] (1, 0) NULL  ) ON [PRIMARY]";

constexpr const char* kCreateKey =
    " ALTER TABLE [dbo].[ZEV99_RESULT] WITH NOCHECK ADD CONSTRAINT [PK_ZEV99_RESULT] PRIMARY KEY "
    " CLUSTERED ( [ZEV99_ID] ) WITH  FILLFACTOR = 90  ON [PRIMARY]";

DateTime Day(DateTime value) {
  return std::chrono::time_point_cast<std::chrono::seconds>(
      std::chrono::floor<std::chrono::days>(value));
}

// A receipt date of the run as the datetime columns take it: a text is read as a date (the
// selection may keep dates as typed), nothing is NULL.
Value DateColumn(const Value& value) {
  if (value.is_empty() || value.is_null()) return Value(Null{});
  if (value.is_text() && RTrimNz(value).empty()) return Value(Null{});
  return Value(value.ToDate());
}

// The window's last run date as the proposal compares it: Nz with default 2, read as a date.
// A number is a day count from 30/12/1899, so the default 2 is 01/01/1900 and never wins.
DateTime LastRunDate(const Value& value) {
  Value v = Nz(value, 2);
  if (v.is_number()) {
    std::int64_t days = v.ToInteger();
    return Day(MakeDateTime(1899, 12, 30)) + std::chrono::days(days);
  }
  return v.ToDate();
}

}  // namespace

void CreaTabellaStorico(ImportRun& run) {
  try {
    if (EsisteTabella(run.db(), "ZEV99_RESULT", "T")) return;
    run.db().execute(kCreateTable);
    run.db().execute(kCreateKey);
  } catch (const std::exception& e) {
    run.RecordError("CreaTabellaStorico", e);
  }
}

void ScriviStorico(ImportRun& run) {
  try {
    // The first write of a run adds the row; later writes find it again by its id.
    std::string condition = " 1 = 0";
    if (!run.state.history_id.is_zero())
      condition = " ZEV99_ID = " + run.state.history_id.ToString();
    WritableRecordset rs =
        run.db().open_for_insert("SELECT * FROM ZEV99_RESULT WHERE " + condition);
    if (rs.eof()) rs.add_new();

    Decimal present = NzDec(run.state.present).ToDecimal();
    Decimal imported = NzDec(run.state.imported).ToDecimal();
    Decimal discarded = present - imported;
    if (discarded.sign() < 0) discarded = -discarded;

    rs.set("ZEV99_DITTA_CG18", run.company);
    rs.set("ZEV99_DATA_WORK", Day(run.clock().Now()));
    rs.set("ZEV99_DATA_INIZIO", DateColumn(run.state.date_first));
    // A receipt dated after today does not carry the run's end there: the next "Normale" run
    // would skip every receipt until that day.
    Value last = DateColumn(run.state.date_last);
    if (last.kind() == ValueKind::kDate && last.as_date() > Day(run.clock().Now())) {
      last = Value(Day(run.clock().Now()));
    }
    rs.set("ZEV99_DATA_FINE", last);
    rs.set("ZEV99_IDRICEVUTA", run.state.current_receipt_id);
    rs.set("ZEV99_EXPORT", run.state.anomalies.path);
    rs.set("ZEV99_TOTREC", run.state.present);
    rs.set("ZEV99_NUMERR", discarded);
    rs.set("ZEV99_TOTIMP", run.state.imported);
    rs.set("ZEV99_TIPOELABORA", NzDec(run.selections.mode));
    rs.update_batch();

    run.state.history_id =
        rs.identity() ? Decimal(*rs.identity()) : NzDec(rs["ZEV99_ID"]).ToDecimal();
  } catch (const std::exception& e) {
    run.RecordError("ScriviStorico", e);
  }
}

Recordset ListaStorico(ImportRun& run) {
  Recordset listing;
  try {
    Recordset rs = run.db().open(fmt::format(
        "SELECT ZEV99_ID, ZEV99_DITTA_CG18, ZEV99_DATA_WORK, ZEV99_DATA_INIZIO, ZEV99_DATA_FINE, "
        "ZEV99_IDRICEVUTA, ZEV99_EXPORT, ZEV99_TOTREC, ZEV99_NUMERR, ZEV99_TOTIMP, "
        "ZEV99_TIPOELABORA,  Case [ZEV99_TIPOELABORA] WHEN 1 Then 'Rielabora' ELSE 'Normale' END "
        "AS DESCTIPO FROM ZEV99_RESULT  WHERE ZEV99_DITTA_CG18 = {} ORDER BY ZEV99_DATA_WORK DESC, "
        "ZEV99_ID ASC",
        run.company));

    Value proposed;
    run.proposal_fell_back = false;
    if (rs.eof()) {
      proposed = run.last_run_date;
    } else {
      listing = rs;
      // Only "Normale" runs move the start date on: a "Rielabora" run redoes a past range.
      // The search works on a second cursor so that the grid keeps the listing's order.
      proposed = Value(MakeDateTime(2001, 1, 1));
      Recordset normal = rs.clone();
      normal.filter("ZEV99_TIPOELABORA = 0");
      const bool normal_runs = normal.record_count() > 0;
      if (normal_runs) {
        normal.sort("ZEV99_DATA_FINE DESC");
        normal.move_first();
        proposed = Nz(normal["ZEV99_DATA_FINE"], std::string());
      }
      DateTime last_run = LastRunDate(run.last_run_date);
      // A run whose end date is missing proposes nothing of its own.
      if (proposed.kind() != ValueKind::kDate || last_run > proposed.as_date()) {
        // The user is told when "Normale" runs exist and none of them says where it ended:
        // the next "Normale" run would select every receipt again.
        run.proposal_fell_back = normal_runs && proposed.kind() != ValueKind::kDate;
        proposed = Value(last_run);
      }
    }
    run.last_imported_date = proposed;
  } catch (const std::exception& e) {
    run.RecordError("ListaStorico", e);
  }
  return listing;
}

std::string ProposedStartText(const Value& proposed) {
  return proposed.kind() == ValueKind::kDate ? FormatItalianDate(Day(proposed.as_date()))
                                             : RTrimNz(proposed);
}

}  // namespace zodadovez
