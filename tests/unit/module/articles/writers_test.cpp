// The writers of article master data: classification, articles and companions, analytic
// accounts and projects, price-list entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "module/articles/analitica.h"
#include "module/articles/articoli.h"
#include "module/articles/classificazione.h"
#include "module/articles/listini.h"
#include "tests/support/window_fixture.h"

namespace zodadovez {
namespace {

using testing::WindowFixture;

// A shown window of company 1 with the analytic chart 3, the price list 1 and a receipt's
// deposit; `hierarchy` is the classification hierarchy setting.
ImportRun& Ready(WindowFixture& f, const std::string& hierarchy = "0") {
  f.Exec(
      "INSERT INTO dbo.HOST_SETTINGS (HOST_DITTA, HOST_CHIAVE, HOST_VALORE) VALUES "
      "(1, 'GERARCHIA_CLASSI', '" +
      hierarchy + "'), (1, 'PIANO_ANALITICO', '3')");
  ImportRun& w = f.Show();
  w.document.deposit = "DEP1";
  w.document.row.vat_code = "22";
  w.price_list = 1;
  f.log.Clear();
  return w;
}

// The subscription of macro-category 2, category 15, subscription 37, 12 months, as the coding
// of subscriptions leaves it.
void CodeSubscription(ImportRun& w) {
  RowFields& r = w.document.row;
  r.service_type = "ABB";
  r.family_description = "ABBONAMENTI";
  r.subfamily_code = "0002";
  r.group_code = "0015";
  r.brand_code = "A000037";
  r.brand_description = "Fitness Open";
  r.stat_group1 = "012";
  r.stat_group2 = "M";
  r.project_code = "A-0002-001-000037";
  r.article_code = "A-0002-001-000037-012-M";
}

// Every row of a query as "a|b|c", Null as "-".
std::vector<std::string> Rows(Database& db, const std::string& sql) {
  std::vector<std::string> rows;
  for (Recordset rs = db.open(sql); !rs.eof(); rs.move_next()) {
    std::string out;
    for (std::size_t i = 0; i < rs.fields().size(); ++i) {
      if (i > 0) out += "|";
      out += rs.at(i).is_null() ? "-" : rs.at(i).ToText();
    }
    rows.push_back(out);
  }
  return rows;
}

std::vector<std::string> Texts(const StatementLog& log, StatementRecord::Kind kind) {
  std::vector<std::string> texts;
  for (const StatementRecord& r : log.records()) {
    if (r.kind == kind) texts.push_back(r.text);
  }
  return texts;
}

// The tables written, in order.
std::vector<std::string> Inserted(const StatementLog& log) {
  std::vector<std::string> tables;
  for (const StatementRecord& r : log.records()) {
    if (r.kind == StatementRecord::Kind::kInsert) tables.push_back(r.write.table);
  }
  return tables;
}

using Strings = std::vector<std::string>;

TEST(VerificaFamigliaTest, CreatesFamilyAndClassANamedAfterTheKindWhenUndescribed) {
  const std::string long_text(40, 'x');
  struct Case {
    const char* service_type;
    std::string description;
    std::int16_t kind;
    Strings family;     // MG53 rows
    Strings class_a;    // PD1F rows
    const char* field;  // the family description field afterwards
  };
  const Case cases[] = {
      {"ABB", "", 1, {"1|ABB|Abbonamenti"}, {"1|ABB|0|0|Abbonamenti"}, "Abbonamenti"},
      {"BOL", "  ", 12, {"1|BOL|Bollo"}, {"1|BOL|0|0|Bollo"}, "Bollo"},
      {"XX", "", 9, {"1|XX|-"}, {"1|XX|0|0|-"}, " "},
      {"SALA",
       long_text,
       1,
       {"1|SALA|" + long_text.substr(0, 30)},
       {"1|SALA|0|0|" + long_text.substr(0, 30)},
       "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx"},
      {" ", "Corsi", 1, {}, {}, "before"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.service_type + std::to_string(c.kind));
    WindowFixture f;
    ImportRun& w = Ready(f);
    w.document.row.service_type = c.service_type;
    w.document.row.family_description = "before";
    w.state.abort = 5;

    VerificaFamiglia(w, c.description, c.kind);

    EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG53_FAMIGLIE"), c.family);
    EXPECT_EQ(Rows(f.db(), "SELECT * FROM PD1F_CLASSEAPROG"), c.class_a);
    EXPECT_EQ(w.document.row.family_description, c.field);
    EXPECT_EQ(w.state.abort, 0);
  }
}

TEST(VerificaFamigliaTest, LooksUpByKeyAndLeavesAnExistingFamilyAlone) {
  WindowFixture f;
  ImportRun& w = Ready(f, "1");
  f.Exec("INSERT INTO MG53_FAMIGLIE VALUES (1, 'ABB', 'Vecchia')");
  w.document.row.service_type = "ABB";

  VerificaFamiglia(w, "Abbonamenti palestra", 1);

  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen),
            (Strings{" SELECT MG53_DITTA_CG18, MG53_CODFAM, MG53_DESCRFAM  FROM MG53_FAMIGLIE "
                     "WHERE MG53_DITTA_CG18 = 1 AND MG53_CODFAM = 'ABB'",
                     " SELECT *  FROM PD1F_CLASSEAPROG WHERE PD1F_DITTA_CG18 = 1 AND PD1F_CODICE "
                     "= 'ABB'"}));
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG53_FAMIGLIE"), Strings{"1|ABB|Vecchia"});
  // The analytic class carries the hierarchy setting as its flag.
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM PD1F_CLASSEAPROG"),
            Strings{"1|ABB|0|1|Abbonamenti palestra"});
}

// The same subfamily and group coded under the bar and two other service types.
TEST(ClassificationTest, LevelsFollowTheHierarchySetting) {
  struct Case {
    const char* hierarchy;
    Strings subfamilies;  // MG54: family key in brackets, subfamily, description
    Strings classes_b;    // PD1G
    Strings groups;       // MG55: family and subfamily keys in brackets
    Strings classes_c;    // PD1H
    Strings reads;        // the lookups of the first service type's subfamily and group
  };
  const Case cases[] = {
      {"0",
       {"[]|0002|Bibite"},
       {"0002|0|Fitness|[]"},
       {"[ ]|[ ]|0015|Bar"},
       {"0015|0|Sala|-"},
       {" SELECT MG54_DITTA_CG18, MG54_CODFAM_MG53, MG54_CODSFAM, MG54_DESCRSFAM  FROM "
        "MG54_SOTTOFAM WHERE MG54_DITTA_CG18 = 1 AND MG54_CODFAM_MG53 = ' ' AND MG54_CODSFAM = "
        "'0002'",
        " SELECT *  FROM PD1G_CLASSEBPROG WHERE PD1G_DITTA_CG18 = 1 AND PD1G_CODICE = '0002'",
        " SELECT MG55_DITTA_CG18, MG55_CODFAM_MG53, MG55_CODSFAM_MG54, MG55_CODGRUPPO, "
        "MG55_DESCRGRUPPO  FROM MG55_GRUPPI WHERE MG55_DITTA_CG18 = 1 AND MG55_CODFAM_MG53 = ' ' "
        "AND MG55_CODSFAM_MG54 = ' ' AND MG55_CODGRUPPO = '0015'",
        " SELECT *  FROM PD1H_CLASSECPROG WHERE PD1H_DITTA_CG18 = 1 AND PD1H_CODICE = '0015'"}},
      {"1",
       {"[ABB]|0002|Fitness", "[CRS]|0002|Fitness", "[V]|0002|Bibite"},
       {"0002|1|Fitness|[ABB]", "0002|1|Fitness|[CRS]"},
       {"[ABB]|[0002]|0015|Sala", "[CRS]|[0002]|0015|Sala", "[V]|[0002]|0015|Bar"},
       {"0015|0|Sala|0002"},
       {" SELECT MG54_DITTA_CG18, MG54_CODFAM_MG53, MG54_CODSFAM, MG54_DESCRSFAM  FROM "
        "MG54_SOTTOFAM WHERE MG54_DITTA_CG18 = 1 AND MG54_CODFAM_MG53 = 'ABB' AND MG54_CODSFAM = "
        "'0002'",
        " SELECT *  FROM PD1G_CLASSEBPROG WHERE PD1G_DITTA_CG18 = 1 AND PD1G_CODICE = '0002' AND "
        "PD1G_CLASSEA_PD1F = 'ABB'",
        " SELECT MG55_DITTA_CG18, MG55_CODFAM_MG53, MG55_CODSFAM_MG54, MG55_CODGRUPPO, "
        "MG55_DESCRGRUPPO  FROM MG55_GRUPPI WHERE MG55_DITTA_CG18 = 1 AND MG55_CODFAM_MG53 = "
        "'ABB' AND MG55_CODSFAM_MG54 = '0002' AND MG55_CODGRUPPO = '0015'",
        " SELECT *  FROM PD1H_CLASSECPROG WHERE PD1H_DITTA_CG18 = 1 AND PD1H_CODICE = '0015'"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("hierarchy ") + c.hierarchy);
    WindowFixture f;
    ImportRun& w = Ready(f, c.hierarchy);
    w.document.row.subfamily_code = "0002";
    // The bar comes first, so that analytic classes it made would carry its descriptions.
    for (const char* service_type : {"V", "ABB", "CRS"}) {
      const bool bar = service_type == std::string("V");
      f.log.Clear();
      w.document.row.service_type = service_type;
      VerificaSFamiglia(w, "0002", bar ? "Bibite" : "Fitness");
      VerificaGruppo(w, "0015", bar ? "Bar" : "Sala");
      if (service_type == std::string("ABB")) {
        EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen), c.reads);
      }
    }

    EXPECT_EQ(Rows(f.db(),
                   "SELECT '[' + MG54_CODFAM_MG53 + ']', MG54_CODSFAM, MG54_DESCRSFAM FROM "
                   "MG54_SOTTOFAM ORDER BY MG54_CODFAM_MG53"),
              c.subfamilies);
    EXPECT_EQ(Rows(f.db(),
                   "SELECT PD1G_CODICE, PD1G_FLGGERARCHICO, PD1G_DESCR, '[' + PD1G_CLASSEA_PD1F "
                   "+ ']' FROM PD1G_CLASSEBPROG ORDER BY PD1G_CLASSEA_PD1F"),
              c.classes_b);
    EXPECT_EQ(Rows(f.db(),
                   "SELECT '[' + MG55_CODFAM_MG53 + ']', '[' + MG55_CODSFAM_MG54 + ']', "
                   "MG55_CODGRUPPO, MG55_DESCRGRUPPO FROM MG55_GRUPPI ORDER BY MG55_CODFAM_MG53"),
              c.groups);
    EXPECT_EQ(Rows(f.db(),
                   "SELECT PD1H_CODICE, PD1H_INDCLASSE, PD1H_DESCR, PD1H_CLASSEB_PD1G FROM "
                   "PD1H_CLASSECPROG"),
              c.classes_c);
    EXPECT_FALSE(w.anomaly);
  }
}

TEST(ClassificationTest, BrandsAndStatisticalGroups) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  VerificaMarca(w, "A000037", "Fitness Open con istruttore dedicato");
  VerificaMarca(w, "A000037", "Altro");
  VerificaGruppoStat(w, "012", "1");
  VerificaGruppoStat(w, "M", " 2 ");
  VerificaGruppoStat(w, "M", "2");

  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG64_MARCHEART"),
            Strings{"1|A000037|Fitness Open con istruttore de"});
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG74_GRUSTAT1"), Strings{"1|012|012"});
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG75_GRUSTAT2"), Strings{"1|M|M"});
  EXPECT_EQ(Inserted(f.log), (Strings{"MG64_MARCHEART", "MG74_GRUSTAT1", "MG75_GRUSTAT2"}));
  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen).back(),
            " SELECT MG75_DITTA_CG18, MG75_CODGRUSTAT2, MG75_DESGRUSTAT2  FROM MG75_GRUSTAT2 "
            "WHERE MG75_DITTA_CG18 = 1 AND MG75_CODGRUSTAT2 = 'M'");
}

TEST(ClassificationTest, AFailureIsReportedUnderTheProcedureName) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec("DROP TABLE MG64_MARCHEART");
  VerificaMarca(w, "A000037", "Fitness");
  EXPECT_TRUE(w.anomaly);
  EXPECT_EQ(w.error.label, "VerificaMarca");
}

// The article of Part of the subscription above: every row it leaves, in the order written.
TEST(ScrivoArticoloTest, WritesTheSubscriptionArticleWithCompanionsBranchAndProject) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  CodeSubscription(w);

  ScrivoArticolo(w, "A-0002-001-000037-012-M", "ABBONAMENTI Fitness Open", true);

  EXPECT_FALSE(w.anomaly) << w.error.description;
  EXPECT_EQ(w.document.row.article_description, "ABBONAMENTI Fitness Open 12 M");
  EXPECT_EQ(w.article_number, 1);
  EXPECT_EQ(
      Inserted(f.log),
      (Strings{"MG66_ANAGRART", "MG43_ARTPERS", "MG67_SCORTE", "MG68_CONFART", "MG87_ARTDESC",
               "PC03_ANAGPDC", "PC03_ANAGPDC", "PC03_ANAGPDC", "PC03_ANAGPDC", "PD68_PROGETTI"}));
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG66_ANAGRART"),
            Strings{"1|A-0002-001-000037-012-M|15/07/2024|15/07/2024|-||0|ABB|0002|0015|A000037|"
                    "012|M|22|0|0|0|0|1|0|1|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|0|1|0|0|0|0|"
                    "0|0|0|0|0|0|0|0|0|0|50|0|0"});
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG43_ARTPERS"), Strings{"1|A-0002-001-000037-012-M|1|1"});
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG67_SCORTE"),
            Strings{"1|A-0002-001-000037-012-M||DEP1|6|1|0|0|0|0|0|0|0|1|0|0|1|0|0"});
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG68_CONFART"),
            Strings{"1|A-0002-001-000037-012-M||DEP1|0|1|0|0|0|0|0|0|0|0|0"});
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM MG87_ARTDESC"),
            Strings{"1|A-0002-001-000037-012-M|||ABBONAMENTI FITNESS OPEN 12 M"});
  // The project keeps the description without duration and period.
  EXPECT_EQ(Rows(f.db(), "SELECT * FROM PD68_PROGETTI"),
            Strings{"1|A-0002-001-000037|ABBONAMENTI FITNESS OPEN|0|ABB|0002|0015|0|0|0"});
  EXPECT_EQ(Rows(f.db(), "SELECT PC03_CONTO FROM PC03_ANAGPDC ORDER BY PC03_NRLIVELLO"),
            (Strings{"ZA   0000000000", "ZA12M0000000000", "ZA12M0000370000", "ZA12M0000370001"}));
  const Strings reads = Texts(f.log, StatementRecord::Kind::kOpen);
  EXPECT_EQ(
      Strings(reads.begin(), reads.begin() + 6),
      (Strings{"SELECT * FROM MG66_ANAGRART WHERE MG66_DITTA_CG18 = 1 AND MG66_CODART = "
               "'A-0002-001-000037-012-M'",
               "SELECT * FROM MG43_ARTPERS WHERE MG43_DITTA_CG18 = 1 AND MG43_CODART_MG66 = "
               "'A-0002-001-000037-012-M' AND MG43_PROG = 1",
               "SELECT MG66_FAM_MG53, MAX(ISNULL(MG43_NUMPERS1,0)) AS MAX FROM MG66_ANAGRART "
               "WITH (NOLOCK)  LEFT OUTER JOIN MG43_ARTPERS WITH (NOLOCK) ON MG43_DITTA_CG18 = "
               "MG66_DITTA_CG18 AND MG43_CODART_MG66 = MG66_CODART AND MG43_PROG = 1 Where "
               "MG66_DITTA_CG18 = 1 AND MG66_FAM_MG53 = 'ABB' GROUP BY MG66_FAM_MG53",
               "SELECT * FROM MG67_SCORTE WHERE MG67_DITTA_CG18 = 1 AND MG67_CODART_MG66 = "
               "'A-0002-001-000037-012-M' AND MG67_CODDEP_MG58 = 'DEP1'",
               "SELECT * FROM MG68_CONFART WHERE MG68_DITTA_CG18 = 1 AND MG68_CODART_MG66 = "
               "'A-0002-001-000037-012-M' AND MG68_CODCONFEZ_MG96 = 'DEP1'",
               "SELECT * FROM MG87_ARTDESC WHERE MG87_DITTA_CG18 = 1 AND MG87_CODART_MG66 = "
               "'A-0002-001-000037-012-M' AND MG87_LINGUA_MG52 = ''"}));
  EXPECT_EQ(reads.back(),
            "SELECT * FROM PD68_PROGETTI WHERE PD68_DITTA_CG18 = 1 AND PD68_CODPROG = "
            "'A-0002-001-000037'");

  // Again: nothing is written, the number is read, the branch and project are looked up.
  f.log.Clear();
  w.article_number = 9;
  ScrivoArticolo(w, "A-0002-001-000037-012-M", "ABBONAMENTI Fitness Open", true);
  EXPECT_EQ(Inserted(f.log), Strings{});
  EXPECT_EQ(w.article_number, 1);
  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen).size(), 2u + 5u + 1u);
}

TEST(ScrivoArticoloTest, NumbersArticlesPerFamilyAndCompany) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec(
      "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART, MG66_FAM_MG53) VALUES "
      "(2, 'A-OTHER', 'ABB')");
  f.Exec("INSERT INTO MG43_ARTPERS VALUES (2, 'A-OTHER', 1, 40)");
  struct Step {
    const char* service_type;
    const char* subfamily;
    const char* code;
    std::int16_t number;
  };
  const Step steps[] = {{"ABB", "0002", "A-1", 1},
                        {"ABB", "0009", "A-2", 2},
                        {"V", "007", "V-COCA", 1},
                        {"ABB", "0002", "A-3", 3},
                        {"ABB", "0002", "A-1", 1}};
  for (const Step& s : steps) {
    w.document.row.service_type = s.service_type;
    w.document.row.subfamily_code = s.subfamily;
    ScrivoArticolo(w, s.code, "Servizio", false);
    EXPECT_EQ(w.article_number, s.number) << s.code;
  }
  EXPECT_EQ(Rows(f.db(),
                 "SELECT MG43_CODART_MG66, MG43_NUMPERS1 FROM MG43_ARTPERS WHERE "
                 "MG43_DITTA_CG18 = 1 ORDER BY MG43_CODART_MG66"),
            (Strings{"A-1|1", "A-2|2", "A-3|3", "V-COCA|1"}));
  EXPECT_EQ(Rows(f.db(), "SELECT COUNT(*) FROM PC03_ANAGPDC"), Strings{"0"});
}

TEST(ScrivoArticoloTest, ExistingArticlesKeepTheirPersonalisedRow) {
  struct Case {
    const char* name;
    const char* seed;     // MG43 row of the existing article, or ""
    std::int16_t number;  // the window's number afterwards (7 before)
  };
  const Case cases[] = {
      {"numbered", "INSERT INTO MG43_ARTPERS VALUES (1, 'B-1', 1, 4)", 4},
      {"no personalised row", "", 0},
      {"number 0 keeps the last one", "INSERT INTO MG43_ARTPERS VALUES (1, 'B-1', 1, 0)", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WindowFixture f;
    ImportRun& w = Ready(f);
    f.Exec(
        "INSERT INTO MG66_ANAGRART (MG66_DITTA_CG18, MG66_CODART, MG66_FAM_MG53) VALUES "
        "(1, 'B-1', 'BAR')");
    if (*c.seed) f.Exec(c.seed);
    w.document.row.service_type = "BAR";
    w.article_number = 7;

    ScrivoArticolo(w, "B-1", "Bibita", false);

    EXPECT_EQ(w.article_number, c.number);
    EXPECT_EQ(Inserted(f.log), Strings{});
    EXPECT_FALSE(w.anomaly);
  }
}

TEST(ScrivoArticoloTest, DescriptionGainsDurationAndPeriod) {
  const std::string long_text(80, 'a');
  struct Case {
    std::string description;
    const char* stat1;
    const char* stat2;
    std::string field;   // the article description field
    std::string stored;  // MG87_DESCART
  };
  const Case cases[] = {
      {"Caffè ", "", "", "Caffè ", "CAFFÈ "},
      {"Corso ", "000", "", "Corso 0", "CORSO 0"},
      {"Corso", "", "S", "Corso S", "CORSO S"},
      {long_text, "", "", long_text, std::string(72, 'A')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    WindowFixture f;
    ImportRun& w = Ready(f);
    w.document.row.service_type = "C";
    w.document.row.stat_group1 = c.stat1;
    w.document.row.stat_group2 = c.stat2;
    ScrivoArticolo(w, "C-1", c.description, false);
    EXPECT_EQ(w.document.row.article_description, c.field);
    EXPECT_EQ(Rows(f.db(), "SELECT MG87_DESCART FROM MG87_ARTDESC"), Strings{c.stored});
  }
}

TEST(ScrivoArticoloTest, AFailingCompanionDoesNotStopTheOthers) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec("INSERT INTO MG87_ARTDESC VALUES (1, 'C-1', '', '', 'Vecchia')");
  f.Exec("DROP TABLE MG67_SCORTE");
  w.document.row.service_type = "C";
  ScrivoArticolo(w, "C-1", "Corso", false);

  EXPECT_EQ(w.error.label, "ScrivoScorte");
  EXPECT_EQ(Inserted(f.log), (Strings{"MG66_ANAGRART", "MG43_ARTPERS", "MG68_CONFART"}));
  EXPECT_EQ(Rows(f.db(), "SELECT MG87_DESCART FROM MG87_ARTDESC"), Strings{"Vecchia"});
}

// The branch of the subscription above with number 5, level by level.
TEST(ScrivoAnagAnaliticaTest, BuildsTheBranchLevelByLevel) {
  struct Case {
    std::int16_t level;
    const char* code;
    const char* formatted;
    // PC03 row: description, parent, parent formatted, header, analytic, levels 1-5 formatted
    const char* row;  // "" when the account is found and not inserted
  };
  const Case cases[] = {
      {1, "ZA   0000000000", "ZA/***/00/0000/0000",
       "ABBONAMENTI|-|-|ZA|Falso|ZA/***/00/0000/0000|ZA/***/00/0000/0000|ZA/***/00/0000/0000|"
       "ZA/***/00/0000/0000|ZA/***/00/0000/0000"},
      {2, "ZA12M0000000000", "ZA/12M/00/0000/0000",
       "012 M|ZA   0000000000|ZA/***/00/0000/0000|ZA12M|Falso|ZA/***/00/0000/0000|"
       "ZA/12M/00/0000/0000|ZA/12M/00/0000/0000|ZA/12M/00/0000/0000|ZA/12M/00/0000/0000"},
      {3, "ZA12M0000000000", "ZA/12M/00/0000/0000", ""},
      {4, "ZA12M0000370000", "ZA/12M/00/0037/0000",
       "Fitness Open|ZA12M0000000000|ZA/12M/00/0000/0000|ZA12M000037|Falso|ZA/***/00/0000/0000|"
       "ZA/12M/00/0000/0000|ZA/12M/00/0000/0000|ZA/12M/00/0037/0000|ZA/12M/00/0037/0000"},
      {5, "ZA12M0000370005", "ZA/12M/00/0037/0005",
       "ABBONAMENTI Fitness Open 12 M|ZA12M0000370000|ZA/12M/00/0037/0000|ZA12M0000370005|Vero|"
       "ZA/***/00/0000/0000|ZA/12M/00/0000/0000|ZA/12M/00/0000/0000|ZA/12M/00/0037/0000|"
       "ZA/12M/00/0037/0005"},
  };
  WindowFixture f;
  ImportRun& w = Ready(f);
  CodeSubscription(w);
  w.document.row.article_description = "ABBONAMENTI Fitness Open 12 M";
  w.article_number = 5;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    f.log.Clear();
    Scrivo_AnagAnalitica(w, c.level);

    EXPECT_EQ(w.document.analytic_levels[c.level].code, Value(c.code));
    EXPECT_EQ(w.document.analytic_levels[5].formatted, Value(c.formatted));
    EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen),
              Strings{"SELECT * FROM PC03_ANAGPDC WHERE PC03_CODICE_PC01 = 3 AND PC03_CONTO = '" +
                      std::string(c.code) + "'"});
    Strings expected;
    if (*c.row) expected.push_back(c.row);
    EXPECT_EQ(Rows(f.db(),
                   "SELECT PC03_DESCR, PC03_PARENT, PC03_PARENTF, PC03_CODEHEADER, "
                   "PC03_ISANALITICO, PC03_LIVELLO1F, PC03_LIVELLO2F, PC03_LIVELLO3F, "
                   "PC03_LIVELLO4F, PC03_LIVELLO5F FROM PC03_ANAGPDC WHERE PC03_NRLIVELLO = " +
                       std::to_string(c.level)),
              expected);
  }
  EXPECT_EQ(Rows(f.db(),
                 "SELECT PC03_CODICE_PC01, PC03_CONTO, PC03_TIPOCONTOCI, PC03_INDPROVCOSTO, "
                 "PC03_LIVELLO1, PC03_LIVELLO3, PC03_LIVELLO5, PC03_CMINDMODELLO FROM PC03_ANAGPDC "
                 "WHERE PC03_NRLIVELLO = 5"),
            Strings{"3|ZA12M0000370005|7|2|ZA   0000000000|ZA12M0000000000|ZA12M0000370005|1"});
}

TEST(ScrivoAnagAnaliticaTest, BranchesShareTheLevelsTheyHaveInCommon) {
  struct Article {
    const char* service_type;
    const char* stat1;
    const char* stat2;
    const char* brand;
    std::int16_t number;
    Strings inserted;  // accounts inserted by this article's branch
  };
  const Article articles[] = {
      {"ABB",
       "012",
       "M",
       "A000037",
       5,
       {"ZA   0000000000", "ZA12M0000000000", "ZA12M0000370000", "ZA12M0000370005"}},
      {"ABB", "006", "M", "A000037", 6, {"ZA06M0000000000", "ZA06M0000370000", "ZA06M0000370006"}},
      // A bar article: no duration, period or brand, so levels 1 to 4 are one account.
      {"V", "", "", "", 1, {"ZV   0000000000", "ZV   0000000001"}},
      // Without a number the article's own account is the brand's, and takes no postings.
      {"T", "", "", "T000012", 0, {"ZT   0000000000", "ZT   0000120000"}},
  };
  WindowFixture f;
  ImportRun& w = Ready(f);
  for (const Article& a : articles) {
    SCOPED_TRACE(a.service_type + std::to_string(a.number));
    f.log.Clear();
    RowFields& r = w.document.row;
    r.service_type = a.service_type;
    r.stat_group1 = a.stat1;
    r.stat_group2 = a.stat2;
    r.brand_code = a.brand;
    w.article_number = a.number;
    ScriviRamoAnalitico(w);
    Strings inserted;
    for (const StatementRecord& s : f.log.records()) {
      if (s.kind == StatementRecord::Kind::kInsert) inserted.push_back(s.parameters()[1].ToText());
    }
    EXPECT_EQ(inserted, a.inserted);
  }
  EXPECT_EQ(Rows(f.db(),
                 "SELECT PC03_CONTO, PC03_ISANALITICO FROM PC03_ANAGPDC WHERE PC03_CONTO "
                 "LIKE 'ZT%' ORDER BY PC03_CONTO"),
            (Strings{"ZT   0000000000|Falso", "ZT   0000120000|Falso"}));
}

TEST(ScrivoProgettoTest, InsertsOnlyMissingProjects) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  f.Exec(
      "INSERT INTO PD68_PROGETTI (PD68_DITTA_CG18, PD68_CODPROG, PD68_DESCRPROG) VALUES "
      "(1, 'OLD', 'Vecchio')");
  w.document.row.service_type = "T";
  w.document.row.subfamily_code = " ";
  Scrivo_Progetto(w, "T-000012", "ingresso " + std::string(80, 'x'));
  w.document.row.group_code = "0015";
  Scrivo_Progetto(w, "OLD", "Nuovo");

  EXPECT_EQ(Rows(f.db(), "SELECT * FROM PD68_PROGETTI ORDER BY PD68_CODPROG"),
            (Strings{"1|OLD|Vecchio|-|-|-|-|-|-|-",
                     "1|T-000012|INGRESSO " + std::string(51, 'X') + "|0|T|-|-|0|0|0"}));
}

TEST(ScrivoListinoTest, AddsTheEntryThenRewritesItsPrice) {
  WindowFixture f;
  ImportRun& w = Ready(f);
  // Entries of the same article that differ in one part of the key.
  f.Exec(
      "INSERT INTO LI10_LISTARTIC (LI10_DITTA_CG18, LI10_FLGUSODECOR, LI10_FLGVENDACQ, "
      "LI10_INDTIPOLIS, LI10_CODART_MG66, LI10_OPZIONE_MG5E, LI10_DEPOS_MG58, LI10_NUMLIST, "
      "LI10_DATAFINEVAL, LI10_DATAINIZIOVAL, LI10_PREZZO) VALUES "
      "(1, 0, 0, 0, 'V-COCA', '', '', 1, '2099-12-31', '2020-01-01', 1), "
      "(1, 0, 0, 0, 'V-COCA', '', '', 2, '2099-12-31', '2010-01-01', 1), "
      "(1, 0, 0, 0, 'V-COCA', 'X', '', 1, '2099-12-31', '2010-01-01', 1), "
      "(1, 0, 0, 0, 'V-COCA', '', 'D', 1, '2099-12-31', '2010-01-01', 1)");
  // The seeded entries have no list flag: ours is the one row that carries it.
  const std::string ours =
      "SELECT LI10_PREZZO, LI10_FLGVARIATO, LI10_DATACREAZ, LI10_DATAULTAGG, LI10_NUMLIST, "
      "LI10_DATAINIZIOVAL, LI10_DATAFINEVAL, '[' + LI10_OPZIONE_MG5E + LI10_DEPOS_MG58 + ']', "
      "LI10_INDUM FROM LI10_LISTARTIC WHERE LI10_FLGLIST = 1";
  const std::string others = "SELECT SUM(LI10_PREZZO) FROM LI10_LISTARTIC";

  Scrivo_Listino(w, "V-COCA", 2.5);
  EXPECT_EQ(Texts(f.log, StatementRecord::Kind::kOpen),
            Strings{"SELECT * FROM LI10_LISTARTIC WHERE LI10_DITTA_CG18 = 1 AND "
                    "LI10_FLGUSODECOR = 0 AND LI10_FLGVENDACQ = 0 AND LI10_INDTIPOLIS = 0 AND "
                    "LI10_CODART_MG66 = 'V-COCA' AND LI10_OPZIONE_MG5E = ' ' AND LI10_DEPOS_MG58 "
                    "= ' ' AND LI10_NUMLIST = 1 AND LI10_DATAFINEVAL = '2099-12-31 00:00:00' AND "
                    "LI10_DATAINIZIOVAL = '2010-01-01 00:00:00'"});
  EXPECT_EQ(Rows(f.db(), ours), Strings{"2,5|0|15/07/2024|-|1|01/01/2010|31/12/2099|[]|1"});

  // A later run: the same price is written again and the entry marked as changed.
  f.clock_.Set(MakeDateTime(2024, 7, 16, 8, 0, 0));
  Scrivo_Listino(w, "V-COCA", 2.5);
  EXPECT_EQ(Rows(f.db(), ours),
            Strings{"2,5|1|15/07/2024|16/07/2024|1|01/01/2010|31/12/2099|[]|1"});

  // A price of 0 changes nothing.
  f.clock_.Set(MakeDateTime(2024, 7, 17, 8, 0, 0));
  Scrivo_Listino(w, "V-COCA", 0);
  EXPECT_EQ(Rows(f.db(), ours),
            Strings{"2,5|1|15/07/2024|16/07/2024|1|01/01/2010|31/12/2099|[]|1"});
  EXPECT_EQ(Rows(f.db(), others), Strings{"6,5"});
  EXPECT_FALSE(w.anomaly);
}

}  // namespace
}  // namespace zodadovez
