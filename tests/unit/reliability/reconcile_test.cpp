// Reconciliation after a run killed in the middle of a day: the following "Normale" run starts
// after the day its history checkpoint had reached, the rest of that day stays behind, and
// reconcile lists exactly those receipts.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <set>

#include "host/data/faulty_database.h"
#include "module/engine/riconciliazione.h"
#include "tests/support/window_fixture.h"
#include "tests/unit/reliability/gym_builder.h"

namespace zodadovez {
namespace {

using testing::GymReceipt;
using testing::GymRow;
using testing::WindowFixture;

constexpr int kFirstReceipt = 9000;

// The example data with 90 receipts on 3 March 2025, 40 on the 4th and 10 on the 5th, all at
// midnight, as the gym stores them.
WindowFixture& Days() {
  static WindowFixture fixture;
  static const bool loaded = [] {
    WindowFixture* f = &fixture;
    f->LoadExample();
    int id = kFirstReceipt;
    for (auto [day, count] : {std::pair{3u, 90}, {4u, 40}, {5u, 10}}) {
      for (int i = 0; i < count; ++i, ++id) {
        GymReceipt r;
        r.id = id;
        r.date = MakeDateTime(2025, 3, day);
        r.rows = {GymRow()};
        testing::AddReceipt(f->db(), r);
      }
    }
    return true;
  }();
  (void)loaded;
  return fixture;
}

ParameterSet Normale() {
  ParameterSet set;
  set.configurations = {1};
  return set;
}

// The receipt a receipt-rows statement reads.
std::optional<std::int64_t> ReceiptOfRows(const std::string& statement) {
  constexpr std::string_view kKey = "WHERE RicevuteRiga.IDRicevuta = ";
  if (!statement.starts_with(" SELECT RicevuteRiga.*")) return std::nullopt;
  std::size_t at = statement.find(kKey);
  if (at == std::string::npos) return std::nullopt;
  return std::stoll(statement.substr(at + kKey.size()));
}

TEST(ReconcileTest, ListsExactlyTheReceiptsAKilledRunLeftBehind) {
  // A clean run shows the loop's order: the statement that reads each receipt's rows.
  std::vector<std::string> statements;
  {
    WindowFixture clean(Days());
    FaultPlan plan;
    plan.record = &statements;
    clean.faults = &plan;
    clean.Import(Normale());
  }
  std::vector<std::pair<std::int64_t, std::size_t>> loop;  // receipt, its statement number
  for (std::size_t i = 0; i < statements.size(); ++i) {
    if (auto id = ReceiptOfRows(statements[i])) loop.emplace_back(*id, i + 1);
  }
  ASSERT_GT(loop.size(), 130u);
  // The run history is written at the 101st receipt handled: a receipt of the 4th. The run is
  // killed ten receipts later, still on the 4th.
  auto day_of = [](std::int64_t id) {
    return id < kFirstReceipt + 90 ? 3 : id < kFirstReceipt + 130 ? 4 : 5;
  };
  ASSERT_EQ(day_of(loop[100].first), 4);
  ASSERT_EQ(day_of(loop[110].first), 4);
  std::set<std::int64_t> left_behind;
  for (std::size_t i = 110; i < loop.size(); ++i) {
    if (day_of(loop[i].first) == 4) left_behind.insert(loop[i].first);
  }
  // Five receipts of the example, 90 of the 3rd, then the 4th from the 96th on.
  ASSERT_EQ(left_behind.size(), 25u);

  WindowFixture f(Days());
  FaultPlan kill;
  kill.fail_at = static_cast<std::int64_t>(loop[110].second);
  kill.persistent = true;
  f.faults = &kill;
  ImportRun* w = nullptr;
  ASSERT_NO_THROW(w = &f.Import(Normale()));
  EXPECT_TRUE(w->anomaly);
  f.faults = nullptr;

  ReconcileRequest request;
  request.company = 1;
  request.from = MakeDateTime(2025, 3, 1);
  request.to = MakeDateTime(2025, 3, 31);
  const ReconcileReport report = Reconcile(f.db(), request);
  EXPECT_EQ(report.examined, 140);
  // The example's second configuration has no default VAT code: the import skips it, and so
  // does the reconciliation.
  ASSERT_EQ(report.skipped.size(), 1u);
  EXPECT_NE(report.skipped[0].find("configuration 2: no default VAT code"), std::string::npos);
  std::set<std::int64_t> listed;
  for (const LeftBehind& r : report.receipts) {
    if (day_of(r.receipt_id) == 5) continue;  // the run never reached the 5th
    listed.insert(r.receipt_id);
    EXPECT_EQ(r.configuration_id, 1);
    EXPECT_EQ(r.gym_database, "Palestra");
    EXPECT_EQ(r.document_type, "FTC");
    EXPECT_EQ(r.section, "A");
    EXPECT_EQ(r.reason, "Nessun documento ERP");
    EXPECT_EQ(r.kind, LeftKind::kNoDocument);
  }
  EXPECT_EQ(listed, left_behind);

  // The next plain run sees that the killed one did not end and completes it: what it left
  // is imported, what it stored is not stored again.
  ASSERT_NO_THROW(w = &f.Import(Normale()));
  EXPECT_FALSE(w->anomaly) << w->error.label << ": " << w->error.description;
  EXPECT_TRUE(Reconcile(f.db(), request).receipts.empty());
  Recordset copies = f.db().open(
      "SELECT COUNT(*) AS N FROM DO11_DOCTESTATA WHERE DO11_FLGDOCBIS = 1 AND DO11_ANNODOC = 2025");
  EXPECT_EQ(copies["N"].ToInteger(), 0);
  // A run of one configuration leaves the killed run open for the others; a run of them all
  // closes it.
  auto completed = [&] {
    return f.db()
        .open("SELECT COUNT(*) AS N FROM ZEV98_ESECUZIONI WHERE ZEV98_ESITO = 3")["N"]
        .ToInteger();
  };
  EXPECT_EQ(completed(), 0);
  ParameterSet all = Normale();
  all.configurations = {1, 2};
  f.Import(all);
  EXPECT_EQ(completed(), 1);
}

// Receipts held back by a kit product without bill of materials, and receipts without a row to
// import, are listed with their reason; receipts without number are found by their id.
TEST(ReconcileTest, TellsWhyAReceiptHasNoDocument) {
  WindowFixture f(Days());
  Database& db = f.db();
  // A kit product without bill, sold in receipt 9500; receipt 9501 has only a row of a service
  // type that is not imported; receipt 9502 has no number.
  testing::InsertGym(db, "BarProdotti",
                     {{"IDProdotto", 50},
                      {"IDProdottoCategoria", 43},
                      {"Codice", "KITNUOVO"},
                      {"Descrizione", "Kit nuovo"},
                      {"Prezzo", Decimal(9)}});
  testing::InsertGym(db, "BarMovimenti",
                     {{"IDBarMovimento", 50},
                      {"IDBarTotale", 5000},
                      {"IDProdotto", 50},
                      {"Quantita", Decimal(1)}});
  GymReceipt kit;
  kit.id = 9500;
  kit.date = MakeDateTime(2025, 4, 1);
  GymRow bar;
  bar.service = "B";
  bar.enrolment = 5000;
  kit.rows = {bar};
  testing::AddReceipt(db, kit);
  GymReceipt not_imported = kit;
  not_imported.id = 9501;
  not_imported.rows = {GymRow()};
  not_imported.rows[0].service = "X";
  testing::AddReceipt(db, not_imported);
  GymReceipt unnumbered = not_imported;
  unnumbered.id = 9502;
  unnumbered.number = 0;
  unnumbered.rows[0].service = "U";
  testing::AddReceipt(db, unnumbered);

  ReconcileRequest request;
  request.company = 1;
  request.from = request.to = MakeDateTime(2025, 4, 1);
  std::map<std::int64_t, LeftBehind> before;
  for (LeftBehind& r : Reconcile(db, request).receipts) before[r.receipt_id] = r;
  ASSERT_EQ(before.size(), 3u);
  EXPECT_EQ(before[9500].kind, LeftKind::kHeldBack);
  EXPECT_EQ(before[9500].reason,
            "Kit non presente per l'articolo KITNUOVO: trattenuta dall'import");
  EXPECT_EQ(before[9501].reason, "Nessuna riga da importare: scartata dall'import");
  EXPECT_EQ(before[9502].reason, "Nessun documento ERP");
  EXPECT_EQ(before[9502].number, 0);

  ParameterSet set = Normale();
  set.mode = 1;
  set.date_from = set.date_to = "01/04/2025";
  f.Import(set);
  // The receipt without number has its document now, found by DO11_NUMDOCORIG; the others
  // stay, for the reasons given.
  std::set<std::int64_t> after;
  for (const LeftBehind& r : Reconcile(db, request).receipts) after.insert(r.receipt_id);
  EXPECT_EQ(after, (std::set<std::int64_t>{9500, 9501}));

  // A configuration whose gym database name is not plain is not looked at, and says so.
  f.Exec("UPDATE ZEV90_PARAMETRI SET ZEV90_DB_NAME = 'Palestra;' WHERE ZEV90_ID = 1");
  request.configs = {1, 7};
  const ReconcileReport refused = Reconcile(db, request);
  EXPECT_TRUE(refused.receipts.empty());
  ASSERT_EQ(refused.skipped.size(), 2u);
  EXPECT_NE(refused.skipped[0].find("'Palestra;' is not a plain name"), std::string::npos);
  EXPECT_NE(refused.skipped[1].find("configuration 7: not a configuration of company 1"),
            std::string::npos);
}

}  // namespace
}  // namespace zodadovez
