// The configuration readers: the configuration list, the service type codes, the gym company
// settings.
#include "module/config/configurazioni.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/common/mdlzev_zodadovez.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

// The statements the window read that begin with `prefix`.
std::vector<std::string> Statements(const StatementLog& log, const std::string& prefix) {
  std::vector<std::string> found;
  for (const StatementRecord& r : log.records()) {
    if (r.text.rfind(prefix, 0) == 0) found.push_back(r.text);
  }
  return found;
}

std::vector<std::int64_t> Ids(const Recordset& rs) {
  std::vector<std::int64_t> ids;
  for (Recordset c = rs.clone(); !c.eof(); c.move_next()) {
    ids.push_back(NzDec(c["ZEV90_ID"]).ToInteger());
    EXPECT_EQ(NzDec(c["SELEZIONE"]).ToInteger(), 1) << "configuration " << ids.back();
  }
  return ids;
}

void AddConfigurations(WindowFixture& f) {
  f.Exec(
      "INSERT INTO ZEV90_PARAMETRI (ZEV90_ID, ZEV90_DITTA_CG18, ZEV90_DESCR, ZEV90_DB_NAME) "
      "VALUES (4, 1, 'Centro', 'Palestra'), (1, 1, 'Sede', 'Palestra'), "
      "(2, 1, 'Senza ditte', 'Palestra'), (3, 2, 'Altra azienda', 'Palestra')");
  // Configuration 1 feeds two gym companies; 2 has none; 3 belongs to company 2.
  f.Exec(
      "INSERT INTO ZEV91_DITTE (ZEV91_DITTA_VT, ZEV91_IDPARAM_ZEV90, ZEV91_IDAZIENDA) VALUES "
      "(1, 1, 10), (1, 1, 11), (1, 4, 10), (2, 3, 10)");
}

TEST(ListaConfigurazioniTest, ListsEachConfigurationOfTheCompanyOnceAllTicked) {
  WindowFixture f;
  AddConfigurations(f);
  FRMZEV_ZODADOVEZ& win = f.ShowWindow();
  ImportRun& w = win.run();

  EXPECT_EQ(Statements(f.log, "SELECT DISTINCT"),
            std::vector<std::string>{
                "SELECT DISTINCT ZEV90_PARAMETRI.*, 1 AS SELEZIONE FROM ZEV90_PARAMETRI  INNER "
                "JOIN ZEV91_DITTE  ON ZEV90_PARAMETRI.ZEV90_DITTA_CG18 = "
                "ZEV91_DITTE.ZEV91_DITTA_VT  AND ZEV90_PARAMETRI.ZEV90_ID = "
                "ZEV91_DITTE.ZEV91_IDPARAM_ZEV90  WHERE ZEV90_DITTA_CG18 = 1 ORDER BY ZEV90_ID"});
  EXPECT_EQ(Ids(w.configurations), (std::vector<std::int64_t>{1, 4}));
  ASSERT_TRUE(win.controls.grid_import.is_open());
  EXPECT_EQ(Ids(win.controls.grid_import), (std::vector<std::int64_t>{1, 4}));

  // The grid and the configuration recordset are one set of rows: a tick cleared in the grid
  // is what the run driver sees.
  Recordset grid = win.controls.grid_import.clone();
  grid.set("SELEZIONE", 0);
  Recordset ticked = w.configurations.clone();
  ticked.filter("SELEZIONE = 1");
  EXPECT_EQ(ticked.record_count(), 1u);
}

TEST(ListaConfigurazioniTest, EmptyListAndUnattendedLeaveTheGridWithoutSource) {
  {
    WindowFixture f;
    FRMZEV_ZODADOVEZ& win = f.ShowWindow();
    ImportRun& w = win.run();
    EXPECT_TRUE(w.configurations.is_open());
    EXPECT_EQ(w.configurations.record_count(), 0u);
    EXPECT_FALSE(win.controls.grid_import.is_open());
  }
  {
    WindowFixture f;
    AddConfigurations(f);
    FRMZEV_ZODADOVEZ& win = f.ShowWindow(/*unattended=*/true);
    ImportRun& w = win.run();
    EXPECT_EQ(Ids(w.configurations), (std::vector<std::int64_t>{1, 4}));
    EXPECT_FALSE(win.controls.grid_import.is_open());
  }
}

TEST(LeggiTipiServizioTest, CodesOfTheCompanyOrTheDefaults) {
  WindowFixture f;
  f.Exec(
      "INSERT INTO ZEV03_TIPISERVIZI (ZEV03_DITTA_CG18, ZEV03_TIPOSERVIZIO, ZEV03_INDTIPOSERV) "
      "VALUES (1, 'TK', 2), (1, 'GEN', 12), (2, 'QUOTA', 4), (2, 'BAR', 3)");
  ImportRun& w = f.Show();

  EXPECT_EQ(w.service_type_fee, "I");  // kind 4 only for company 2
  EXPECT_EQ(w.service_type_ticket, "TK");
  EXPECT_EQ(w.service_type_bar, "V");
  EXPECT_EQ(w.service_type_generic, "GEN");

  f.log.Clear();
  EXPECT_EQ(LeggiTipoServizio(w, 4), "");
  EXPECT_EQ(LeggiTipoServizio(w, 12), "GEN");
  EXPECT_EQ(Statements(f.log, "SELECT"),
            (std::vector<std::string>{"SELECT ZEV03_TIPOSERVIZIO FROM ZEV03_TIPISERVIZI WITH "
                                      "(NOLOCK) WHERE ZEV03_DITTA_CG18 = 1 AND "
                                      "ZEV03_INDTIPOSERV = 4",
                                      "SELECT ZEV03_TIPOSERVIZIO FROM ZEV03_TIPISERVIZI WITH "
                                      "(NOLOCK) WHERE ZEV03_DITTA_CG18 = 1 AND "
                                      "ZEV03_INDTIPOSERV = 12"}));
}

// Settings left by a previous gym company: LeggiAzienda clears some and keeps the others.
CompanySettings Previous() {
  CompanySettings s;
  s.section = "OLD";
  s.document_type = s.cash_account = s.bank_account = s.deposit = s.payment_terms = "OLD";
  s.generic_customer = Decimal(99);
  s.branch = Decimal(9);
  s.account_type = 3;
  s.search_mode = 4;
  s.member_documents = true;
  return s;
}

// section|type|cash|bank|customer|deposit|payment|CG31|account type|search|members
std::string Describe(const CompanySettings& s) {
  return s.section + "|" + s.document_type + "|" + s.cash_account + "|" + s.bank_account + "|" +
         s.generic_customer.ToString() + "|" + s.deposit + "|" + s.payment_terms + "|" +
         s.branch.ToString() + "|" + std::to_string(s.account_type) + "|" +
         std::to_string(s.search_mode) + "|" + (s.member_documents ? "1" : "0");
}

TEST(LeggiAziendaTest, ReadsTheRowOfCompanyConfigurationAndGymCompany) {
  WindowFixture f;
  f.Exec(
      "INSERT INTO ZEV01_AZIENDE (ZEV01_DITTA_CG18, ZEV01_IDPARAM_ZEV90, ZEV01_AZIENDA, "
      "ZEV01_SEZDOC, ZEV01_DOCUM_MG36, ZEV01_CASSA_CG24, ZEV01_BANCA1_CG24, ZEV01_CLIFOR_CG44, "
      "ZEV01_CODDEP_MG58, ZEV01_CODPAG_CG62, ZEV01_CODICE_CG31, ZEV01_TIPOCONTO, "
      "ZEV01_INDASSOCLI, ZEV01_FLGDOCSOCI) VALUES "
      "(1, 7, 10, 'A', 'FTV', 'C01', 'B01', 1234, 'D1', 'RD', 5, 2, 3, 1), "
      "(1, 7, 11, 'B', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 2), "
      "(1, 7, 12, 'C', 'FTV', 'C01', 'B01', 1, 'D1', 'RD', 1, 1, 1, NULL), "
      "(1, 8, 13, 'X', 'XX', 'XX', 'XX', 1, 'XX', 'XX', 1, 1, 1, 1), "
      "(2, 7, 14, 'X', 'XX', 'XX', 'XX', 1, 'XX', 'XX', 1, 1, 1, 1)");
  ImportRun& w = f.Show();
  w.state.configuration_id = 7;
  const struct {
    std::int64_t gym_company;
    std::string expected;
  } cases[] = {
      {10, "A|FTV|C01|B01|1234|D1|RD|5|2|3|1"},
      {11, "B||||0|||0|0|0|0"},               // NULLs; members flag 2 is not yes
      {12, "C|FTV|C01|B01|1|D1|RD|1|1|1|0"},  // members flag NULL
      // No row (13 is of configuration 8, 14 of company 2): the cleared fields stand.
      {13, "OLD||OLD||0|||0|0|4|1"},
      {14, "OLD||OLD||0|||0|0|4|1"},
  };
  for (const auto& c : cases) {
    CompanySettings s = Previous();
    LeggiAzienda(w, c.gym_company, s);
    EXPECT_EQ(Describe(s), c.expected) << "gym company " << c.gym_company;
  }
  EXPECT_FALSE(w.anomaly);
  EXPECT_EQ(Statements(f.log, "SELECT * FROM ZEV01").front(),
            "SELECT * FROM ZEV01_AZIENDE WITH (NOLOCK) WHERE ZEV01_DITTA_CG18 = 1 AND "
            "ZEV01_IDPARAM_ZEV90 = 7 AND ZEV01_AZIENDA = 10");

  // A failed read is reported under the procedure's name and leaves the cleared values.
  f.Exec("DROP TABLE ZEV01_AZIENDE");
  CompanySettings s = Previous();
  LeggiAzienda(w, 10, s);
  EXPECT_EQ(Describe(s), "OLD||OLD||0|||0|0|4|1");
  ASSERT_EQ(f.messages.shown().size(), 1u);
  EXPECT_EQ(
      f.messages.shown()[0].text.rfind("Attenzione anomalia riscontrata in: \nLeggiAzienda", 0), 0u)
      << f.messages.shown()[0].text;
}

}  // namespace
}  // namespace zodadovez
