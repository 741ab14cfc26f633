// The receipt document: rejections, duplicates, customers, document types and the rows.
#include "module/engine/documento.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "module/common/mdlzev_zodadovez.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

// One receipt row: service type, quantity and price as SQL literals, description.
struct Row {
  std::string service;
  std::string qta = "1";
  std::string price = "10.00";
  std::string description = "riga";
  std::string payment = "1";
};

class ReceiptTest : public ::testing::Test {
 protected:
  void SetUp() override { f_.LoadExample(); }

  // Adds receipt `id` (number `number`, gym company 1 unless told) with its rows and till
  // movements; `user` is an SQL literal (NULL for a receipt without customer).
  void AddReceipt(int id, int number, const std::string& user, const std::vector<Row>& rows,
                  const std::string& type = "R", int company = 1) {
    f_.Exec(fmt::format(
        "INSERT INTO Palestra.dbo.RicevuteTestata (IDRicevuta, IDRicevuteAzienda, TipoRicevuta, "
        "NumeroRicevuta, DataRicevuta, Annullata, IDUtente, Cliente) VALUES ({}, {}, '{}', {}, "
        "'2025-03-0{} 00:00:00', 0, {}, 'Cliente')",
        id, company, type, number, 1 + id % 9, user));
    for (std::size_t i = 0; i < rows.size(); ++i) {
      int row_id = id * 10 + static_cast<int>(i);
      f_.Exec(fmt::format(
          "INSERT INTO Palestra.dbo.CassaMovimenti (IDCassaMovimento, IDRicevutaAzienda, "
          "IDRicevuteRiga, TipoServizio, IDTipoPagamento) VALUES ({}, {}, {}, '{}', {})",
          row_id, company, row_id, rows[i].service, rows[i].payment));
      f_.Exec(fmt::format(
          "INSERT INTO Palestra.dbo.RicevuteRiga (IDRicevuteRiga, IDRicevuta, IDCassaMovimento, "
          "IDCentroRicavo, Descrizione, Qta, PrezzoUnitario, Iva, IvaDescrizione) VALUES ({}, {}, "
          "{}, 1, '{}', {}, {}, 22.00, '22%')",
          row_id, id, row_id, rows[i].description, rows[i].qta, rows[i].price));
    }
  }

  // Imports the receipts of 2025 (the example data's own are of 2024) of configuration 1.
  ImportRun& Import() {
    ParameterSet set;
    set.configurations = {1};
    set.mode = 1;
    set.date_from = "01/01/2025";
    set.date_to = "31/12/2025";
    return f_.Import(set);
  }

  std::string Results(ImportRun& w) {
    std::ifstream in(w.outcomes.at(0).results_path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  Recordset Document(int number) {
    return f_.db().open(fmt::format(
        "SELECT * FROM DO11_DOCTESTATA WHERE DO11_NUMDOC = {} ORDER BY DO11_NUMREG_CO99", number));
  }
  Recordset Rows(const Recordset& header) {
    return f_.db().open("SELECT * FROM DO30_DOCRIGHE WHERE DO30_NUMREG_DO11 = " +
                        header["DO11_NUMREG_CO99"].ToText() + " ORDER BY DO30_RIGA");
  }

  WindowFixture f_;
};

TEST_F(ReceiptTest, RejectsWhatCannotBeImportedAndCountsIt) {
  AddReceipt(601, 5001, "101", {});                // no rows
  AddReceipt(602, 5002, "102", {{"I"}});           // fee, non-member
  AddReceipt(603, 5003, "102", {{"I"}, {"T"}});    // fee plus another row
  AddReceipt(604, 5004, "101", {{"T"}});           // ticketing, member
  AddReceipt(605, 5005, "NULL", {{"T"}}, "F", 2);  // no customer, no default
  ImportRun& w = Import();
  ASSERT_EQ(w.outcomes.size(), 1u);
  EXPECT_EQ(w.outcomes[0].present, 5);
  EXPECT_EQ(w.outcomes[0].imported, 1);
  std::string results = Results(w);
  EXPECT_NE(results.find("Nessun record di dettaglio fatturato è stato trovato per la chiave: "
                         "RicevutaAzienda = 1 TipoRicevuta = R IDRicevuta = 601 / NumeroRicevuta "
                         "= 5001"),
            std::string::npos);
  EXPECT_NE(results.find("Attenzione Quota Associativa riferita ad un cliente NON SOCIO, "
                         "documento N.:  RicevutaAzienda = 1 TipoRicevuta = R IDRicevuta = 602"),
            std::string::npos);
  EXPECT_NE(results.find("Attenzione Ticketing riferito ad un cliente SOCIO, documento N.:  "
                         "RicevutaAzienda = 1 TipoRicevuta = R IDRicevuta = 604"),
            std::string::npos);
  EXPECT_NE(results.find("Documenti Scartati = 4"), std::string::npos);
  EXPECT_EQ(Document(5003).record_count(), 1u);
  for (int number : {5001, 5002, 5004, 5005}) EXPECT_TRUE(Document(number).eof()) << number;
  EXPECT_FALSE(w.anomaly);  // rejections are results, not anomalies
}

TEST_F(ReceiptTest, DuplicatesNumbersAndDefaultCustomer) {
  AddReceipt(611, 5011, "NULL", {{"T"}});  // no customer: the company's default, 9999
  AddReceipt(612, 0, "101", {{"T"}, {"A"}});
  f_.Exec("UPDATE ZEV01_AZIENDE SET ZEV01_FLGDOCSOCI = 1");
  ImportRun& first = Import();
  EXPECT_EQ(first.outcomes[0].imported, 2);
  Recordset d = Document(5011);
  ASSERT_EQ(d.record_count(), 1u);
  EXPECT_EQ(d["DO11_CLIFOR_CG44"].ToInteger(), 9999);
  EXPECT_EQ(d["DO11_FLGDOCBIS"].ToInteger(), 0);
  // A receipt without number carries its id; the host numbers the document.
  Recordset by_id = f_.db().open("SELECT * FROM DO11_DOCTESTATA WHERE DO11_NUMDOCORIG = 612");
  ASSERT_EQ(by_id.record_count(), 1u);
  EXPECT_NE(by_id["DO11_NUMDOC"].ToInteger(), 0);

  // The same receipts again: stored again, marked as duplicates after the "già presente" line.
  ImportRun& second = Import();
  EXPECT_EQ(second.outcomes[0].imported, 2);
  d = Document(5011);
  ASSERT_EQ(d.record_count(), 2u);
  d.move_last();
  EXPECT_EQ(d["DO11_FLGDOCBIS"].ToInteger(), 1);
  EXPECT_NE(Results(second).find("Fattura Numero 5011 del 09/03/2025 già presente, importata con "
                                 "FLGABIS=1"),
            std::string::npos);
}

TEST_F(ReceiptTest, RowsFollowTheServiceKind) {
  std::string long_text(1700, 'x');
  AddReceipt(621, 5021, "NULL",
             {{"U", "1", "2.00", "bollo"},               // kind 12: BOLLO, row type 1
              {"Z", "NULL", "7.00", "senza tipo"},       // blank service type: 999
              {"I", "2", "15.00", long_text, "NULL"}});  // fee, no payment type
  ImportRun& w = Import();
  EXPECT_EQ(w.outcomes[0].imported, 1);
  Recordset rows = Rows(Document(5021));
  // The row of an unknown service type is not imported at all.
  ASSERT_EQ(rows.record_count(), 2u);
  EXPECT_EQ(RTrimNz(rows["DO30_CODART_MG66"]), "BOLLO");
  EXPECT_EQ(rows["DO30_INDTIPORIGA"].ToInteger(), 1);
  rows.move_next();
  EXPECT_EQ(RTrimNz(rows["DO30_CODART_MG66"]), "Q-A");
  EXPECT_EQ(rows["DO30_INDTIPORIGA"].ToInteger(), 0);
  EXPECT_EQ(rows["DO30_DESCART"].ToText().size(), 1600u);
  EXPECT_EQ(rows["DO30_IMPORTO"].ToDecimal(), Decimal(30));
  EXPECT_EQ(RTrimNz(rows["DO30_CODPAG_CG62"]), "0");
}

TEST_F(ReceiptTest, NullQuantityIsOneAndCreditNotesCarryPositivePrices) {
  f_.Exec("UPDATE ZEV02_GYMVELTA SET ZEV02_DOCUM_MG36 = 'NCC' WHERE ZEV02_TIPORICEVUTA = 'R'");
  AddReceipt(631, 5031, "NULL", {{"T", "NULL", "-10.00", "reso"}});
  Import();
  Recordset rows = Rows(Document(5031));
  ASSERT_EQ(rows.record_count(), 1u);
  EXPECT_EQ(rows["DO30_QTA1"].ToDecimal(), Decimal(1));
  EXPECT_EQ(rows["DO30_PREZZO"].ToDecimal(), Decimal(10));
}

TEST_F(ReceiptTest, TheHundredAndFirstReceiptWritesTheHistory) {
  for (int i = 0; i < 102; ++i) AddReceipt(700 + i, 5100 + i, "NULL", {{"T"}});
  std::size_t history_writes = 0;
  ImportRun& w = Import();
  EXPECT_EQ(w.outcomes[0].imported, 102);
  for (const StatementRecord& r : f_.log.records()) {
    if (r.kind == StatementRecord::Kind::kInsert || r.kind == StatementRecord::Kind::kUpdate) {
      history_writes += r.write.table == "ZEV99_RESULT";
    }
  }
  // The checkpoint after the 101st receipt, the row at the end of the loop, and the row the
  // grouped documents write whether or not they find any.
  EXPECT_EQ(history_writes, 3u);
}

// What the window keeps across receipts and rows, against what starts anew with each.
TEST_F(ReceiptTest, WindowValuesOutliveTheReceiptAndRowValuesTheirQuery) {
  ParameterSet example;
  example.configurations = {1};
  example.mode = 1;
  example.date_from = "01/01/2024";
  example.date_to = "31/12/2024";
  // Every service asks for the row's competence period.
  f_.Exec("UPDATE ZEV03_TIPISERVIZI SET ZEV03_FLGDATACOMP = 1");
  // The subscription article keeps no number of its own: its analytic account takes the number
  // of the article written or read before it, in the checks before the receipts (a new bar
  // article, number 5), though it is the first row of its receipt.
  f_.Exec(
      "UPDATE MG43_ARTPERS SET MG43_NUMPERS1 = 0 WHERE MG43_CODART_MG66 = "
      "'A-0002-001-000037-012-M'");
  std::vector<std::string> statements;
  {
    WindowFixture copy(f_);
    FaultPlan record;
    record.record = &statements;
    copy.faults = &record;
    copy.Import(example);
  }
  // The period query of a receipt's second row fails: that row keeps the first row's period.
  const std::string row_query = " AND R.IdRicevuteRiga = ";
  std::int64_t second = 0;
  std::string receipt;
  for (std::size_t i = 0; i < statements.size() && second == 0; ++i) {
    const std::size_t at = statements[i].find(row_query);
    if (at == std::string::npos) continue;
    const std::string key = statements[i].substr(statements[i].find("T.IDRicevuta = "));
    if (key.substr(0, key.find(" AND R.")) == receipt) second = static_cast<std::int64_t>(i + 1);
    receipt = key.substr(0, key.find(" AND R."));
  }
  ASSERT_GT(second, 0);
  FaultPlan fail;
  fail.fail_at = second;
  f_.faults = &fail;
  ImportRun& w = f_.Import(example);
  EXPECT_EQ(fail.failures, 1);
  EXPECT_TRUE(w.anomaly);
  const std::string id = receipt.substr(std::string("T.IDRicevuta = ").size());
  Recordset rows = f_.db().open(
      "SELECT DO30_DATAINICOMP, DO30_DATAFINCOMP FROM DO30_DOCRIGHE INNER JOIN DO11_DOCTESTATA "
      "ON DO11_NUMREG_CO99 = DO30_NUMREG_DO11 WHERE DO11_NUMDOCORIG = " +
      id +
      " OR DO11_NUMDOC IN (SELECT NumeroRicevuta FROM Palestra.dbo.RicevuteTestata WHERE "
      "IDRicevuta = " +
      id + ") ORDER BY DO30_NUMREG_DO11 DESC, DO30_RIGA");
  ASSERT_GE(rows.record_count(), 2u);
  const Value start = rows["DO30_DATAINICOMP"];
  const Value end = rows["DO30_DATAFINCOMP"];
  ASSERT_EQ(start.kind(), ValueKind::kDate);
  rows.move_next();
  EXPECT_EQ(rows["DO30_DATAINICOMP"], start);
  EXPECT_EQ(rows["DO30_DATAFINCOMP"], end);

  Recordset accounts =
      f_.db().open("SELECT PC03_DESCR FROM PC03_ANAGPDC WHERE PC03_CONTO = 'ZA12M0000370005'");
  ASSERT_EQ(accounts.record_count(), 1u);
  EXPECT_EQ(RTrimNz(accounts["PC03_DESCR"]).substr(0, 11), "ABBONAMENTI");
}

}  // namespace
}  // namespace zodadovez
