// The stand-in host's progressive service and customer/supplier numbering.
#include "host/erp/numbering.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/data/backend.h"
#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "tests/support/temp_dir.h"

namespace zodadovez {
namespace {

using testing::TempDir;

class Erp {
 public:
  Erp() {
    InitDatabases(dir_.Uri(), "Palestra");
    db_ = OpenDatabase(dir_.Uri());
  }
  Database& db() { return *db_; }
  void Exec(const std::string& sql) { db_->execute(sql); }
  std::string Stored(const std::string& key) {
    Recordset rs =
        db_->open("SELECT CG26_VALPROG FROM CG26_PROGANAG WHERE CG26_CODICE = '" + key + "'");
    return rs.eof() ? "none" : rs["CG26_VALPROG"].ToText();
  }

 private:
  TempDir dir_;
  std::unique_ptr<Database> db_;
};

// Another importer that advances every progressive by ten just before our change reaches the
// database, `times` times.
class Interfering : public Database {
 public:
  Interfering(Database& inner, int times) : inner_(inner), times_(times) {}
  std::int64_t execute(std::string_view sql) override {
    if (times_ > 0 && sql.rfind("UPDATE CG26_PROGANAG", 0) == 0) {
      --times_;
      inner_.execute("UPDATE CG26_PROGANAG SET CG26_VALPROG = CG26_VALPROG + 10");
    }
    return inner_.execute(sql);
  }
  Recordset open(std::string_view sql) override { return inner_.open(sql); }
  std::string server_name() override { return inner_.server_name(); }
  std::string dbms_version() override { return inner_.dbms_version(); }
  std::string date_text(DateTime value) const override { return inner_.date_text(value); }
  std::optional<std::int64_t> insert_row(const RowWrite& write) override {
    return inner_.insert_row(write);
  }
  std::int64_t update_row(const RowWrite& write) override { return inner_.update_row(write); }
  bool AcquireLock(std::string_view resource, std::chrono::milliseconds wait) override {
    return inner_.AcquireLock(resource, wait);
  }
  void ReleaseLock(std::string_view resource) override { inner_.ReleaseLock(resource); }

 private:
  Database& inner_;
  int times_;
};

TEST(TableProgressiveTest, AdvancesAndCreatesTheKey) {
  Erp erp;
  TableProgressive progressive(erp.db());
  // A missing key starts above the master records already written.
  erp.Exec("INSERT INTO CG16_ANAGGEN (CG16_CODICE) VALUES (7), (40)");
  EXPECT_EQ(progressive.Next("ANAGG"), 41);
  EXPECT_EQ(progressive.Next("ANAGG"), 42);
  EXPECT_EQ(erp.Stored("ANAGG"), "42");
  // A master record written behind the progressive's back is stepped over.
  erp.Exec("INSERT INTO CG16_ANAGGEN (CG16_CODICE) VALUES (50)");
  EXPECT_EQ(progressive.Next("ANAGG"), 51);
  // A stored value above the codes in use simply advances.
  erp.Exec("UPDATE CG26_PROGANAG SET CG26_VALPROG = 100 WHERE CG26_CODICE = 'ANAGG'");
  EXPECT_EQ(progressive.Next("ANAGG"), 101);
  // Keys of no known table count from their own value; other keys are untouched.
  EXPECT_EQ(progressive.Next("ALTRO"), 1);
  EXPECT_EQ(progressive.Next("ALTRO"), 2);
  EXPECT_EQ(erp.Stored("ANAGG"), "101");
}

TEST(TableProgressiveTest, AnotherWriterNeverMakesTwoTakeOneValue) {
  Erp erp;
  erp.Exec("INSERT INTO CG26_PROGANAG (CG26_CODICE, CG26_VALPROG) VALUES ('ANAGG', 5)");
  Interfering twice(erp.db(), 2);
  // Ours reads 5, the other moves it to 15; ours reads 15, the other moves it to 25; then ours.
  EXPECT_EQ(TableProgressive(twice).Next("ANAGG"), 26);
  EXPECT_EQ(erp.Stored("ANAGG"), "26");

  Interfering always(erp.db(), 1000);
  EXPECT_THROW(TableProgressive(always).Next("ANAGG"), DataError);
}

TEST(CliForNumberingTest, NextNumberPerCompanyAndKind) {
  Erp erp;
  erp.Exec(
      "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR) VALUES (1, 0, 5), "
      "(1, 0, 1234), (1, 1, 77), (2, 0, 9000)");
  CliForNumbering numbering(erp.db());
  struct Case {
    int company;
    int kind;
    std::int64_t expected;
  };
  const Case cases[] = {
      {1, 901, 1235}, {1, 901, 1236},  // customers: above the highest code, then on
      {1, 902, 78},                    // suppliers are CG44_TIPOCF 1
      {2, 901, 9001}, {3, 901, 1},     // each company its own; none yet starts at 1
      {3, 902, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(numbering.Next(c.company, c.kind), c.expected) << c.company << " " << c.kind;
  }
  EXPECT_EQ(erp.Stored("CLIFOR_1_901"), "1236");

  // A number is not handed out again after its customer was removed...
  erp.Exec("DELETE FROM CG44_CLIFOR WHERE CG44_DITTA_CG18 = 1 AND CG44_CLIFOR = 1234");
  EXPECT_EQ(numbering.Next(1, 901), 1237);
  // ...and a code taken outside the numbering (a gym user id kept as code) is stepped over.
  erp.Exec(
      "INSERT INTO CG44_CLIFOR (CG44_DITTA_CG18, CG44_TIPOCF, CG44_CLIFOR) VALUES (1, 0, 1500)");
  EXPECT_EQ(numbering.Next(1, 901), 1501);

  EXPECT_THROW(numbering.Next(1, 903), Error);
}

}  // namespace
}  // namespace zodadovez
