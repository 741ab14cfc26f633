// The run history: creation, the run row, the listing and the proposed start date.
#include "module/config/storico.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "host/data/tsv.h"
#include "module/common/mdlzev_zodadovez.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

std::vector<std::string> Texts(const StatementLog& log) {
  std::vector<std::string> texts;
  for (const StatementRecord& r : log.records()) texts.push_back(r.text);
  return texts;
}

const char* const kExists =
    "SELECT 1 FROM sysobjects WHERE id = object_id(N'[dbo].[ZEV99_RESULT]') and "
    "objectproperty(id, N'IsUserTable') = 1";

const char* const kCreateTable =
    "CREATE TABLE [dbo].[ZEV99_RESULT] ( [ZEV99_ID] [int] IDENTITY (1, 1) NOT NULL , "
    "[ZEV99_DITTA_CG18] [decimal](5, 0) NULL , [ZEV99_DATA_WORK] [datetime] NULL , "
    "[ZEV99_DATA_INIZIO] [datetime] NULL , [ZEV99_DATA_FINE] [datetime] NULL , "
    "[ZEV99_IDRICEVUTA] [int] NULL, [ZEV99_EXPORT] [varchar] (80)COLLATE "
    "SQL_Latin1_General_CP1_CI_AS NULL , [ZEV99_TOTREC] [decimal] (14, 0) NULL,  "
    "[ZEV99_NUMERR] [decimal] (14, 0) NULL,  [ZEV99_TOTIMP] [decimal] (14, 0) NULL,  "
    "[ZEV99_TIPOELABORA] [decimal] (1, 0) NULL  ) ON [PRIMARY]";
const char* const kCreateKey =
    " ALTER TABLE [dbo].[ZEV99_RESULT] WITH NOCHECK ADD CONSTRAINT [PK_ZEV99_RESULT] PRIMARY "
    "KEY  CLUSTERED ( [ZEV99_ID] ) WITH  FILLFACTOR = 90  ON [PRIMARY]";

TEST(CreaTabellaStoricoTest, CreatesTheTableOnlyWhenMissing) {
  WindowFixture f;
  ImportRun& w = f.Show();
  std::vector<std::string> texts = Texts(f.log);
  auto at = std::find(texts.begin(), texts.end(), kExists);
  ASSERT_NE(at, texts.end());
  ASSERT_GE(texts.end() - at, 3);
  EXPECT_EQ(at[1], kCreateTable);
  EXPECT_EQ(at[2], kCreateKey);

  f.log.Clear();
  CreaTabellaStorico(w);
  EXPECT_EQ(Texts(f.log), std::vector<std::string>{kExists});
  EXPECT_FALSE(w.anomaly);
}

TEST(ScriviStoricoTest, FirstWriteAddsTheRowLaterWritesUpdateIt) {
  WindowFixture f;
  ImportRun& w = f.Show();
  w.selections.mode = 1;
  w.state.date_first = Value(MakeDateTime(2024, 7, 1));
  w.state.date_last = Value("14/07/2024");
  w.state.current_receipt_id = Decimal(501);
  w.state.present = Value(4);
  w.state.imported = Value(4);

  f.log.Clear();
  ScriviStorico(w);
  ASSERT_FALSE(w.anomaly) << w.error.description;
  EXPECT_EQ(w.state.history_id, Decimal(1));

  // The second write of the run: more receipts, fewer imported than found, an anomaly file.
  w.state.current_receipt_id = Decimal(640);
  w.state.present = Value(12);
  w.state.imported = Value(Decimal(9));
  w.state.anomalies.path = "/var/log/gym/Log_15_07_2024/1_Errori_15_07_2024.21.30.05.txt";
  ScriviStorico(w);
  ASSERT_FALSE(w.anomaly) << w.error.description;
  EXPECT_EQ(w.state.history_id, Decimal(1));

  std::vector<std::string> texts = Texts(f.log);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0], "SELECT * FROM ZEV99_RESULT WHERE  1 = 0");
  EXPECT_EQ(texts[1].rfind("INSERT INTO ZEV99_RESULT (ZEV99_DITTA_CG18, ZEV99_DATA_WORK, "
                           "ZEV99_DATA_INIZIO, ZEV99_DATA_FINE, ZEV99_IDRICEVUTA, ZEV99_EXPORT, "
                           "ZEV99_TOTREC, ZEV99_NUMERR, ZEV99_TOTIMP, ZEV99_TIPOELABORA)",
                           0),
            0u)
      << texts[1];
  EXPECT_EQ(texts[2], "SELECT * FROM ZEV99_RESULT WHERE  ZEV99_ID = 1");
  EXPECT_EQ(texts[3].rfind("UPDATE ZEV99_RESULT SET ", 0), 0u) << texts[3];

  // DITTA, WORK, INIZIO, FINE, IDRICEVUTA, EXPORT, TOTREC, NUMERR, TOTIMP, TIPOELABORA
  Recordset rs = f.db().open("SELECT * FROM ZEV99_RESULT");
  ASSERT_EQ(rs.record_count(), 1u);
  EXPECT_EQ(FormatTsvRow(rs),
            "1\t1\t2024-07-15 00:00:00\t2024-07-01 00:00:00\t2024-07-14 00:00:00\t640\t" +
                w.state.anomalies.path + "\t12\t3\t9\t1");
}

TEST(ScriviStoricoTest, DiscardedIsAbsoluteAndEmptyCountersCountZero) {
  WindowFixture f;
  ImportRun& w = f.Show();
  w.state.imported = Value(2);  // present still Empty
  ScriviStorico(w);
  ASSERT_FALSE(w.anomaly) << w.error.description;
  Recordset rs = f.db().open("SELECT ZEV99_NUMERR, ZEV99_TIPOELABORA FROM ZEV99_RESULT");
  ASSERT_EQ(rs.record_count(), 1u);
  EXPECT_EQ(NzDec(rs["ZEV99_NUMERR"]).ToInteger(), 2);
  EXPECT_EQ(NzDec(rs["ZEV99_TIPOELABORA"]).ToInteger(), 0);
}

// History rows: company, day of the run, end date, mode (-1 for NULL).
struct HistoryRow {
  int company;
  const char* work;
  const char* end;
  int mode;
};

void AddRuns(WindowFixture& f, const std::vector<HistoryRow>& runs) {
  for (const HistoryRow& r : runs) {
    f.Exec(
        "INSERT INTO ZEV99_RESULT (ZEV99_DITTA_CG18, ZEV99_DATA_WORK, ZEV99_DATA_FINE, "
        "ZEV99_TIPOELABORA) VALUES (" +
        std::to_string(r.company) + ", '" + r.work + "', '" + r.end + "', " +
        (r.mode < 0 ? std::string("NULL") : std::to_string(r.mode)) + ")");
  }
}

TEST(ListaStoricoTest, ProposesTheLatestEndOfANormaleRun) {
  const struct {
    const char* name;
    std::vector<HistoryRow> runs;
    std::string proposed;
  } cases[] = {
      {"empty", {}, "01/01/2001"},
      {"only Rielabora", {{1, "2024-07-01", "2024-06-30", 1}}, "01/01/2001"},
      {"Normale runs",
       {{1, "2024-04-02", "2024-03-31", 0}, {1, "2024-07-01", "2024-06-30", 0}},
       "30/06/2024"},
      {"Rielabora, NULL mode and other company do not count",
       {{1, "2024-04-02", "2024-03-31", 0},
        {1, "2024-07-01", "2024-06-30", 0},
        {1, "2024-07-02", "2024-12-31", 1},
        {1, "2024-07-03", "2024-11-30", -1},
        {2, "2024-07-04", "2024-10-31", 0}},
       "30/06/2024"},
  };
  for (const auto& c : cases) {
    WindowFixture f;
    FRMZEV_ZODADOVEZ& win = f.ShowWindow();
    ImportRun& w = win.run();
    AddRuns(f, c.runs);
    f.log.Clear();
    win.ListaStorico();
    ASSERT_FALSE(w.anomaly) << c.name << ": " << w.error.description;
    EXPECT_EQ(win.controls.txt_data_ini, c.proposed) << c.name;
    EXPECT_EQ(w.last_imported_date.ToDate(), Value(c.proposed).ToDate()) << c.name;
    EXPECT_EQ(win.controls.grid_result.is_open(), !c.runs.empty()) << c.name;
  }
}

TEST(ListaStoricoTest, GridListsTheCompanyRunsWithTheirModeDescription) {
  WindowFixture f;
  FRMZEV_ZODADOVEZ& win = f.ShowWindow();
  AddRuns(f, {{1, "2024-07-01", "2024-06-30", 0},
              {1, "2024-07-02", "2024-12-31", 1},
              {1, "2024-07-02", "2025-01-31", -1},
              {1, "2024-06-01", "2024-05-31", 2},
              {2, "2024-07-04", "2024-10-31", 0}});
  f.log.Clear();
  win.ListaStorico();

  EXPECT_EQ(Texts(f.log),
            std::vector<std::string>{
                "SELECT ZEV99_ID, ZEV99_DITTA_CG18, ZEV99_DATA_WORK, ZEV99_DATA_INIZIO, "
                "ZEV99_DATA_FINE, ZEV99_IDRICEVUTA, ZEV99_EXPORT, ZEV99_TOTREC, ZEV99_NUMERR, "
                "ZEV99_TOTIMP, ZEV99_TIPOELABORA,  Case [ZEV99_TIPOELABORA] WHEN 1 Then "
                "'Rielabora' ELSE 'Normale' END AS DESCTIPO FROM ZEV99_RESULT  WHERE "
                "ZEV99_DITTA_CG18 = 1 ORDER BY ZEV99_DATA_WORK DESC, ZEV99_ID ASC"});
  // Newest run first, ties in id order; the proposal's search does not reorder the grid.
  std::vector<std::pair<std::int64_t, std::string>> rows;
  for (Recordset rs = win.controls.grid_result.clone(); !rs.eof(); rs.move_next()) {
    rows.emplace_back(NzDec(rs["ZEV99_ID"]).ToInteger(), RTrimNz(rs["DESCTIPO"]));
  }
  EXPECT_EQ(rows, (std::vector<std::pair<std::int64_t, std::string>>{
                      {2, "Rielabora"}, {3, "Normale"}, {1, "Normale"}, {4, "Normale"}}));
}

TEST(ListaStoricoTest, ALaterLastRunDateWinsAndUnattendedLeavesTheGrid) {
  WindowFixture f;
  FRMZEV_ZODADOVEZ& win = f.ShowWindow();
  ImportRun& w = win.run();
  AddRuns(f, {{1, "2024-07-01", "2024-06-30", 0}});
  w.last_run_date = Value(MakeDateTime(2024, 7, 10));
  win.ListaStorico();
  EXPECT_EQ(win.controls.txt_data_ini, "10/07/2024");
  w.last_run_date = Value(Null{});
  win.ListaStorico();
  EXPECT_EQ(win.controls.txt_data_ini, "30/06/2024");

  // Unattended: the proposal is made, the grid is not touched.
  WindowFixture unattended;
  unattended.Exec(kCreateTable);
  AddRuns(unattended, {{1, "2024-07-01", "2024-06-30", 0}});
  FRMZEV_ZODADOVEZ& u = unattended.ShowWindow(/*unattended=*/true);
  EXPECT_FALSE(u.controls.grid_result.is_open());
  EXPECT_EQ(u.controls.txt_data_ini, "30/06/2024");
}

}  // namespace
}  // namespace zodadovez
