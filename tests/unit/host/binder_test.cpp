// What SQL Server would refuse, found without one: the stand-in schemas read as a model, the
// module's configuration tables and procedures against them, and every statement of the
// end-to-end imports bound against them.
#include <gtest/gtest.h>

#include <set>

#include "cli/demo_data.h"
#include "host/data/backend.h"
#include "host/data/sqlite/sqlite_database.h"
#include "host/data/sqlite/tsql_lexer.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "host/schema/schema_model.h"
#include "host/schema/schemas.h"
#include "module/common/errors.h"
#include "tests/support/sql_binder.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using schema::ColumnKind;
using schema::SchemaModel;
using testing::StatementBinder;

SchemaModel ErpModel() {
  SchemaModel model;
  model.AddScript(ErpSchema());
  model.AddScript(ProceduresSchema());
  return model;
}

SchemaModel GymModel() {
  SchemaModel model;
  model.AddScript(GymSchema());
  return model;
}

StatementRecord Text(std::string sql) {
  StatementRecord record{StatementRecord::Kind::kOpen, std::move(sql), {}, 0, {}};
  return record;
}

StatementRecord Insert(RowWrite write) {
  StatementRecord record{StatementRecord::Kind::kInsert, "INSERT", std::move(write), 1, {}};
  return record;
}

std::string Joined(const std::vector<std::string>& problems) {
  std::string out;
  for (const std::string& p : problems) out += p + "\n";
  return out;
}

// Every statement of `log` that does not bind, with its problems.
std::string Unbound(const StatementLog& log) {
  StatementBinder binder(ErpModel(), GymModel());
  std::string out;
  for (const StatementRecord& record : log.records()) {
    std::vector<std::string> problems = binder.Check(record);
    if (problems.empty()) continue;
    out += record.text + "\n";
    for (const std::string& p : problems) out += "    " + p + "\n";
  }
  return out;
}

TEST(SchemaModelTest, ReadsTheSchemasAndTheModulesOwnDdl) {
  SchemaModel erp = ErpModel();
  const schema::Table* cg16 = erp.FindTable("cg16_anaggen");
  ASSERT_NE(cg16, nullptr);
  EXPECT_EQ(cg16->primary_key, std::vector<std::string>{"CG16_CODICE"});
  const schema::Column* code = cg16->Find("CG16_CODICE");
  ASSERT_NE(code, nullptr);
  EXPECT_EQ(code->kind, ColumnKind::kDecimal);
  EXPECT_EQ(code->precision, 10);
  EXPECT_FALSE(code->nullable);
  EXPECT_EQ(cg16->Find("CG16_CITTA")->length, 40);
  EXPECT_EQ(erp.FindTable("PC03_ANAGPDC")->Find("PC03_ISANALITICO")->kind, ColumnKind::kBit);
  EXPECT_TRUE(erp.FindTable("MG54_SOTTOFAM")->Find("MG54_CODFAM_MG53")->has_default);
  EXPECT_EQ(GymModel().FindTable("RicevuteRiga")->Find("Descrizione")->length, -1);

  const schema::Procedure* kit = erp.FindProcedure("spmg_esplkit");
  ASSERT_NE(kit, nullptr);
  ASSERT_EQ(kit->parameters.size(), 11u);
  EXPECT_EQ(kit->parameters.front(), "@DITTA");
  EXPECT_EQ(kit->parameters.back(), "@COSTO_UNITARIO");
  ASSERT_NE(erp.FindProcedure("SPCO_AGGIORNA_ANAG_FROM_CG16"), nullptr);

  // The form the import window writes its run history table in, its key added apart.
  erp.AddScript(
      "CREATE TABLE [dbo].[ZZ_T] ([ZZ_ID] [int] IDENTITY (1, 1) NOT NULL , [ZZ_NOTE] [varchar] "
      "(80) COLLATE SQL_Latin1_General_CP1_CI_AS NULL , [ZZ_AMOUNT] [decimal](19, 6) NULL ) ON "
      "[PRIMARY]\nGO\nALTER TABLE [dbo].[ZZ_T] WITH NOCHECK ADD CONSTRAINT [PK_ZZ_T] PRIMARY KEY "
      "CLUSTERED ([ZZ_ID]) WITH FILLFACTOR = 90 ON [PRIMARY]\nGO\n");
  const schema::Table* zz = erp.FindTable("ZZ_T");
  ASSERT_NE(zz, nullptr);
  EXPECT_TRUE(zz->Find("ZZ_ID")->identity);
  EXPECT_EQ(zz->primary_key, std::vector<std::string>{"ZZ_ID"});
  EXPECT_EQ(zz->Find("ZZ_NOTE")->length, 80);
  EXPECT_EQ(zz->Find("ZZ_AMOUNT")->scale, 6);

  EXPECT_THROW(erp.AddScript("CREATE TABLE T (A varchar(ten))"), ConfigError);
  EXPECT_THROW(erp.AddScript("ALTER TABLE NOWHERE ADD CONSTRAINT P PRIMARY KEY (A)"), ConfigError);
}

// zev.sql repeats the configuration tables of erp.sql for a real ERP: the two must not drift.
TEST(SchemaModelTest, ZevSchemaIsTheErpSchemasConfigurationTables) {
  auto without_comments = [](const std::string& batch) {
    std::string out;
    std::size_t start = 0;
    while (start < batch.size()) {
      std::size_t end = batch.find('\n', start);
      if (end == std::string::npos) end = batch.size();
      std::string line = batch.substr(start, end - start);
      if (!line.starts_with("--") && !line.empty()) out += line + "\n";
      start = end + 1;
    }
    return out;
  };
  std::set<std::string> erp_batches;
  for (const std::string& batch : bridge::SplitBatches(ErpSchema())) {
    erp_batches.insert(without_comments(batch));
  }
  for (const std::string& batch : bridge::SplitBatches(ZevSchema())) {
    EXPECT_TRUE(erp_batches.count(without_comments(batch)) > 0)
        << "zev.sql differs from erp.sql in:\n"
        << batch;
  }
  SchemaModel zev;
  zev.AddScript(ZevSchema());
  std::size_t zev_tables = 0;
  const SchemaModel erp = ErpModel();
  for (const schema::Table* table : erp.tables()) {
    if (!table->name.starts_with("ZEV")) continue;
    ++zev_tables;
    EXPECT_NE(zev.FindTable(table->name), nullptr) << table->name << " is missing from zev.sql";
  }
  EXPECT_EQ(zev.tables().size(), zev_tables);
  EXPECT_EQ(zev_tables, 7u);
}

// `zodadovez init --zev-only`: what an ERP lacks, and nothing over what it has.
TEST(SchemaModelTest, ModuleTablesGoOnlyIntoAnErpThatLacksThem) {
  zodadovez::testing::TempDir dir;
  const std::string uri = dir.Uri();
  { SqliteDatabase create(dir.path() / "erp.db", true); }
  std::vector<std::string> created = InstallModuleTables(uri);
  EXPECT_EQ(created.size(), 8u);
  EXPECT_EQ(created.back(), "HOST_SETTINGS");
  std::unique_ptr<Database> db = OpenDatabase(uri);
  EXPECT_TRUE(EsisteTabella(*db, "ZEV90_PARAMETRI", "T"));
  EXPECT_TRUE(EsisteTabella(*db, "HOST_SETTINGS", "T"));
  try {
    InstallModuleTables(uri);
    ADD_FAILURE() << "the configuration tables were created twice";
  } catch (const ConfigError& error) {
    EXPECT_NE(std::string(error.what()).find("ZEV90_PARAMETRI"), std::string::npos);
  }
  // An ERP with its own settings table keeps it.
  zodadovez::testing::TempDir other;
  {
    SqliteDatabase create(other.path() / "erp.db", true);
    RunScript(create, ErpSchema());
    create.execute("DROP TABLE ZEV90_PARAMETRI");
    for (const char* table : {"ZEV91_DITTE", "ZEV01_AZIENDE", "ZEV02_GYMVELTA", "ZEV03_TIPISERVIZI",
                              "ZEV04_TIPOPAG", "ZEV05_CPMERCE"}) {
      create.execute(std::string("DROP TABLE ") + table);
    }
  }
  EXPECT_EQ(InstallModuleTables(other.Uri()).size(), 7u);
}

// The T-SQL procedures run on no server here: at least every ERP table and column they name, in
// their text and in their dynamic SQL, is one of erp.sql.
TEST(ProceduresTest, NameOnlyTablesAndColumnsOfTheErpSchema) {
  SchemaModel erp = ErpModel();
  std::set<std::string> names;
  std::set<std::string> prefixes;
  for (const schema::Table* table : erp.tables()) {
    names.insert(schema::UpperName(table->name));
    prefixes.insert(schema::UpperName(table->name.substr(0, table->name.find('_'))));
    for (const schema::Column& c : table->columns) names.insert(schema::UpperName(c.name));
  }
  std::size_t checked = 0;
  std::vector<std::string> texts = bridge::SplitBatches(ProceduresSchema());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    for (const bridge::Token& t : bridge::Lex(texts[i])) {
      if (t.kind == bridge::TokenKind::kNString) texts.push_back(t.value);  // dynamic SQL
      if (t.kind != bridge::TokenKind::kIdentifier) continue;
      const std::string name = schema::UpperName(t.value);
      const std::size_t underscore = name.find('_');
      if (underscore == std::string::npos || prefixes.count(name.substr(0, underscore)) == 0) {
        continue;
      }
      ++checked;
      EXPECT_TRUE(names.count(name) > 0) << t.value << " is in no table of erp.sql";
    }
  }
  EXPECT_GT(checked, 50u);
}

TEST(StatementBinderTest, RefusesWhatSqlServerWouldRefuse) {
  const struct {
    const char* sql;
    const char* problem;
  } cases[] = {
      {"SELECT * FROM CG16_ANAGRAFE", "unknown table CG16_ANAGRAFE"},
      {"SELECT * FROM Palestra.dbo.Ricevute", "unknown table Palestra.dbo.Ricevute"},
      {"SELECT CG16_NOME FROM CG44_CLIFOR", "unknown column CG16_NOME"},
      {"SELECT X.CG16_CODICE FROM CG16_ANAGGEN", "unknown table or alias X"},
      {"SELECT CG16_ANAGGEN.CG16_CODICE FROM CG16_ANAGGEN AS A",
       "unknown table or alias CG16_ANAGGEN"},
      {"SELECT A.CG16_NOMINATIVO FROM CG16_ANAGGEN AS A", "unknown column A.CG16_NOMINATIVO"},
      {"SELECT Descrizione FROM Palestra.dbo.BarProdotti AS BP INNER JOIN "
       "Palestra.dbo.BarProdottiCategoria AS BPC ON BP.IDProdottoCategoria = "
       "BPC.IDProdottoCategoria",
       "ambiguous column name Descrizione"},
      {"SELECT * FROM CG16_ANAGGEN WHERE CG16_ALIAS = 101", "beside the number 101"},
      {"SELECT * FROM CG44_CLIFOR WHERE CG44_CLIFOR IN (1, 'x')", "cannot convert to a number"},
      {"SELECT * FROM DO11_DOCTESTATA WHERE DO11_DATADOC >= '31/01/2024'", "no date text"},
      {"SELECT * FROM DO11_DOCTESTATA WHERE DO11_DATADOC BETWEEN '20240101' AND 20240131",
       "count of days"},
      {"SELECT * FROM CG16_ANAGGEN WHERE CG16_PARTIVA = NULL", "write IS NULL"},
      {"SELECT * FROM CG44_CLIFOR INNER JOIN CG16_ANAGGEN ON CG44_CLIFOR = CG16_ALIAS",
       "do not convert"},
      {"SELECT * FROM Palestra.dbo.RicevuteTestata AS RT INNER JOIN ZEV02_GYMVELTA ON "
       "RT.TipoRicevuta = ZEV02_TIPORICEVUTA",
       "without COLLATE"},
      {"UPDATE CG26_PROGANAG SET CG26_CODICE = 'ABCDEFGHIJKLMNOPQRSTU' WHERE CG26_CODICE = 'A'",
       "more than CG26_CODICE varchar(20) holds"},
      {"UPDATE MG19_CLIFORVA SET MG19_LISTMAG = 40000, MG19_SC1PERCOR = 1.5",
       "outside the range of MG19_LISTMAG smallint"},
      {"UPDATE MG19_CLIFORVA SET MG19_SCIMPCOR = 12345678901234.5", "arithmetic overflow"},
      {"SELECT * FROM #Missing", "unknown temporary table #Missing"},
      {"EXEC SPMG_ESPLKIT @DITTA = 1, @ARTICOLO = 'X'", "no parameter @ARTICOLO"},
      {"EXEC SPCO_AGGIORNA_ANAG_FROM_CG16 1, 2", "takes 1 parameters"},
      {"MERGE CG16_ANAGGEN USING X ON 1 = 1", "does not know"},
  };
  for (const auto& c : cases) {
    StatementBinder binder(ErpModel(), GymModel());
    const std::string problems = Joined(binder.Check(Text(c.sql)));
    EXPECT_NE(problems.find(c.problem), std::string::npos) << c.sql << "\n" << problems;
  }

  const char* const good[] = {
      "SELECT * FROM Palestra.dbo.RicevuteTestata AS RT WITH (NOLOCK) INNER JOIN ZEV02_GYMVELTA "
      "ON RT.TipoRicevuta = ZEV02_TIPORICEVUTA COLLATE Latin1_General_CI_AS AND "
      "ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 WHERE RT.DataRicevuta > '20240131' AND "
      "RT.IDRicevuteAzienda IN (1, 2) AND RT.Annullata <> -1",
      "SELECT MAX(CG16_CODICE) AS ULTIMO FROM CG16_ANAGGEN WITH (NOLOCK) ORDER BY ULTIMO",
      "UPDATE CG42_MOVCONT SET CG42_CONTOPAR_CG24 = '1899999' FROM CG42_MOVCONT INNER JOIN "
      "CG41_PRIMANOTA ON CG41_DITTA_CG18 = CG42_DITTA_CG18 AND CG41_RIFFIGLIA = "
      "CG42_NUMREG_CG41 WHERE CG41_NUMREG = 5",
      // The subquery's own table answers for IDCentro before the outer query's.
      "SELECT IDCentro FROM Palestra.dbo.CentriRicavo WHERE IDCentro = (SELECT IDCentro FROM "
      "Palestra.dbo.BE WHERE BE.IDBE = 1)",
      "SPMG_ESPLKIT @DITTA=1, @CODICE_ARTICOLO = 'KIT', @QTA_DA_ESPLODERE = 2",
      "SELECT 1 FROM sysobjects WHERE id = object_id(N'[dbo].[X]') and objectproperty(id, "
      "N'IsUserTable') = 1",
      "SELECT * FROM GYM_2.Mare.dbo.Utenti WHERE IDUtente = 7 AND Cognome = 'D''Angelo'",
  };
  for (const char* sql : good) {
    StatementBinder binder(ErpModel(), GymModel());
    EXPECT_EQ(Joined(binder.Check(Text(sql))), "") << sql;
  }
}

TEST(StatementBinderTest, FollowsTemporaryTablesAndTheRunHistoryTable) {
  StatementBinder binder(ErpModel(), GymModel());
  auto check = [&](const std::string& sql) { return Joined(binder.Check(Text(sql))); };
  EXPECT_EQ(check("CREATE TABLE #K (K_ID int, K_CODE varchar(5) COLLATE DATABASE_DEFAULT)"), "");
  EXPECT_NE(check("INSERT INTO #K (K_ID, K_CODE) VALUES (1, 'ABCDEF')").find("6 characters"),
            std::string::npos);
  EXPECT_EQ(check("SELECT * FROM CG16_ANAGGEN INNER JOIN #K ON K_CODE = CG16_CAP"), "");
  // SELECT ... INTO takes each item's column, type and database.
  EXPECT_EQ(check("SELECT RT.DataRicevuta, RT.TipoRicevuta AS TIPO INTO #D FROM "
                  "Palestra.dbo.RicevuteTestata AS RT"),
            "");
  EXPECT_NE(check("SELECT * FROM #D WHERE DataRicevuta = 5").find("count of days"),
            std::string::npos);
  EXPECT_NE(check("SELECT * FROM #D INNER JOIN #K ON TIPO = K_CODE").find("without COLLATE"),
            std::string::npos);
  EXPECT_EQ(check("IF OBJECT_ID('tempdb..#K') IS NOT NULL DROP TABLE #K"), "");
  EXPECT_NE(check("SELECT * FROM #K").find("unknown temporary table"), std::string::npos);

  // The run history table exists once the window has created it.
  RowWrite history{"ZEV99_RESULT", {"ZEV99_ID"}, {Value(1)}, {}, {}};
  EXPECT_NE(Joined(binder.Check(Insert(history))).find("unknown table"), std::string::npos);
  check(
      "CREATE TABLE [dbo].[ZEV99_RESULT] ([ZEV99_ID] [int] IDENTITY (1, 1) NOT NULL , "
      "[ZEV99_EXPORT] [varchar] (80) NULL ) ON [PRIMARY]");
  EXPECT_NE(Joined(binder.Check(Insert(history))).find("identity column"), std::string::npos);
  StatementRecord update = Insert({"ZEV99_RESULT", {"ZEV99_EXPORT"}, {Value("x")}, {}, {}});
  update.kind = StatementRecord::Kind::kUpdate;
  EXPECT_NE(Joined(binder.Check(update)).find("no primary key"), std::string::npos);
  check(
      "ALTER TABLE [dbo].[ZEV99_RESULT] WITH NOCHECK ADD CONSTRAINT [PK_ZEV99_RESULT] PRIMARY "
      "KEY CLUSTERED ([ZEV99_ID]) ON [PRIMARY]");
  EXPECT_EQ(Joined(binder.Check(update)), "");
}

TEST(StatementBinderTest, ChecksEveryValueAWriteCarries) {
  StatementBinder binder(ErpModel(), GymModel());
  const struct {
    const char* column;
    Value value;
    const char* problem;  // empty: the value fits
  } cases[] = {
      {"CG16_RAGSOANAG", Value(std::string(40, 'x')), ""},
      {"CG16_RAGSOANAG", Value(std::string(41, 'x')), "41 characters"},
      {"CG16_CITTA", Value("CITTÀ"), ""},
      {"CG16_NOMINATIVO", Value("x"), "unknown column CG16_NOMINATIVO"},
      {"CG16_CODICE", Value(Null{}), "NOT NULL"},
      {"CG16_CODICE", Value(Decimal::Parse("12345678901")), "arithmetic overflow"},
      {"CG16_CODICE", Value("1.234"), ""},  // the Italian form: one thousand two hundred ...
      {"CG16_CODICE", Value("abc"), "converts to no number"},
      {"CG16_SESSO", Value(true), ""},
      {"CG16_SESSO", Value(std::int64_t{70000}), "outside the range"},
      {"CG16_ALIAS", Value(std::int64_t{101}), ""},
      {"CG16_ALIAS", Value(Decimal::Parse("1.5")), "its own scale"},
      {"CG16_ALIAS", Value(MakeDateTime(2024, 1, 31)), "date as text"},
      {"CG16_DATANASCITA", Value("31/01/1980"), ""},
      {"CG16_DATANASCITA", Value(std::int64_t{5}), "no date"},
  };
  for (const auto& c : cases) {
    RowWrite write{"CG16_ANAGGEN", {c.column}, {c.value}, {}, {}};
    const std::string problems = Joined(binder.Check(Insert(write)));
    if (*c.problem == '\0') {
      EXPECT_EQ(problems, "") << c.column << " " << c.value.Describe();
    } else {
      EXPECT_NE(problems.find(c.problem), std::string::npos)
          << c.column << " " << c.value.Describe() << "\n"
          << problems;
    }
  }
}

TEST(StatementBinderTest, BindsEveryStatementOfTheExampleImports) {
  zodadovez::testing::WindowFixture f;
  f.LoadExample();
  ParameterSet set;
  set.configurations = {1, 2};
  set.mode = 1;
  set.date_from = "01/01/2024";
  set.date_to = "31/12/2024";
  f.Import(set);
  f.company = 2;
  set.configurations = {3};
  f.Import(set);
  f.company = 1;
  set = ParameterSet{};
  set.configurations = {1, 2};  // "Normale": after the last run
  f.Import(set);
  ASSERT_GT(f.log.records().size(), 200u);
  EXPECT_EQ(Unbound(f.log), "");
}

TEST(StatementBinderTest, BindsEveryStatementOfTheDemo) {
  zodadovez::testing::TempDir dir;
  cli::CreateDemoDatabases({dir.path(), 40, 3});
  StatementLog log;
  FixedClock clock(MakeDateTime(2024, 12, 31, 23, 0, 0));
  StandInOptions options;
  options.connection = "sqlite:" + cli::DemoErpFile(dir.path()).string();
  options.company = 1;
  options.clock = &clock;
  options.statement_log = &log;
  StandInHost host(options);
  CLSZEV_ZODADOVEZ plugin(host);
  plugin.unattended = true;
  ParameterSet set;
  set.configurations = {1, 2};
  plugin.selections = set;
  plugin.Cinterface_ShowForm();
  ASSERT_GT(log.records().size(), 200u);
  EXPECT_EQ(Unbound(log), "");
}

}  // namespace
}  // namespace zodadovez
