#include <gtest/gtest.h>

#include <map>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

Recordset History() {
  std::vector<FieldInfo> fields = {{"ZEV99_ID", FieldType::kInteger},
                                   {"ZEV99_TIPOELABORA", FieldType::kInteger},
                                   {"ZEV99_DATA_FINE", FieldType::kDate},
                                   {"TipoServizio", FieldType::kText, 20},
                                   {"IDTipoPagamento", FieldType::kInteger}};
  std::vector<std::vector<Value>> rows = {
      {1, 0, MakeDateTime(2024, 1, 31), "ABB", 3},
      {2, 1, MakeDateTime(2024, 3, 15), "abb  ", Null{}},
      {3, 0, MakeDateTime(2024, 2, 29), "BAR", 1},
      {4, 0, Null{}, "Tick", Null{}},
  };
  return Recordset(fields, rows);
}

std::vector<std::int64_t> Ids(Recordset& rs) {
  std::vector<std::int64_t> ids;
  for (rs.move_first(); !rs.eof(); rs.move_next()) ids.push_back(rs["zev99_id"].as_integer());
  return ids;
}

TEST(TextCompareTest, FoldsLatinLettersAndIgnoresTrailingBlanks) {
  EXPECT_TRUE(TextEquals("Kit", "KIT"));
  EXPECT_TRUE(TextEquals("AB ", "ab"));
  EXPECT_TRUE(TextEquals("", "   "));
  EXPECT_TRUE(TextEquals("Città", "CITTÀ"));
  EXPECT_TRUE(TextEquals("Łódź", "łÓDŹ"));
  EXPECT_FALSE(TextEquals("citta", "città"));  // accent-sensitive
  EXPECT_FALSE(TextEquals(" ab", "ab"));       // leading blanks count
  EXPECT_LT(CompareText("abc", "ABD"), 0);
  EXPECT_GT(CompareText("b", "A"), 0);
  EXPECT_LT(CompareText("ab", "abc"), 0);
  EXPECT_EQ(UpperCase("città ÿ"), "CITTÀ Ÿ");
  EXPECT_EQ(FoldCase("ÀÉ\xff"), "àé\xff");  // an invalid byte passes through unchanged
}

TEST(RecordsetTest, FiltersAsThePlatformDoes) {
  Recordset rs = History();
  struct Case {
    const char* criteria;
    std::vector<std::int64_t> ids;
  };
  const Case cases[] = {
      {"ZEV99_TIPOELABORA = 0", {1, 3, 4}},
      {"TipoServizio = 'ABB'", {1, 2}},  // case and trailing blanks ignored
      {"IDTipoPagamento <> NULL", {1, 3}},
      {"IDTipoPagamento = NULL", {2, 4}},
      {"ZEV99_ID >= 2 AND ZEV99_ID < 4", {2, 3}},
      {"ZEV99_ID = 1 OR (TipoServizio = 'tick' AND ZEV99_TIPOELABORA = 0)", {1, 4}},
      {"TipoServizio LIKE 'b*'", {3}},
      {"ZEV99_DATA_FINE > #2024-02-01#", {2, 3}},
      {"[TipoServizio] = 'O''Neil'", {}},
      {"", {1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    rs.filter(c.criteria);
    EXPECT_EQ(Ids(rs), c.ids) << c.criteria;
    EXPECT_EQ(rs.record_count(), c.ids.size()) << c.criteria;
  }
  for (const char* bad :
       {"Nope = 1", "ZEV99_ID = ", "ZEV99_ID ! 1", "TipoServizio = 'x", "(ZEV99_ID = 1"}) {
    EXPECT_THROW(rs.filter(bad), DataError) << bad;
  }
}

TEST(RecordsetTest, SortsClonesAndChangesInMemory) {
  Recordset rs = History();
  rs.sort("ZEV99_DATA_FINE DESC");
  EXPECT_EQ(Ids(rs), (std::vector<std::int64_t>{2, 3, 1, 4}));  // Null last when descending
  rs.sort("TipoServizio, ZEV99_ID DESC");
  EXPECT_EQ(Ids(rs), (std::vector<std::int64_t>{2, 1, 3, 4}));
  EXPECT_THROW(rs.sort("ZEV99_ID SIDEWAYS"), DataError);

  rs.sort("");
  rs.filter("ZEV99_TIPOELABORA = 0");
  Recordset other = rs.clone();
  EXPECT_EQ(other.record_count(), 4u);  // a clone starts without the filter
  other.move_first();
  other.set("TipoServizio", "changed");
  rs.move_first();
  EXPECT_EQ(rs["TIPOSERVIZIO"].as_text(), "changed");  // both cursors see the same rows

  rs.add_new();
  EXPECT_TRUE(rs["ZEV99_ID"].is_empty());
  EXPECT_EQ(rs.record_count(), 4u);
  rs.move_next();
  EXPECT_TRUE(rs.eof());
  EXPECT_THROW(rs["ZEV99_ID"], DataError);
  rs.move_first();
  EXPECT_THROW(rs["NoSuchField"], DataError);
}

TEST(CreaRecordSetAttivoTest, CopiesOpenRecordsetsOnly) {
  Recordset closed;
  EXPECT_FALSE(CreaRecordSetAttivo(closed).has_value());

  Recordset empty({{"A", FieldType::kText, 10}, {"B", FieldType::kDecimal, 0, 5, 2}}, {});
  auto empty_copy = CreaRecordSetAttivo(empty);
  ASSERT_TRUE(empty_copy.has_value());
  EXPECT_TRUE(empty_copy->is_open());
  EXPECT_EQ(empty_copy->record_count(), 0u);
  ASSERT_EQ(empty_copy->fields().size(), 2u);
  EXPECT_EQ(empty_copy->fields()[1].scale, 2);

  Recordset source = History();
  auto copy = CreaRecordSetAttivo(source);
  ASSERT_TRUE(copy.has_value());
  EXPECT_TRUE(source.eof());
  EXPECT_EQ(copy->record_count(), 4u);
  EXPECT_EQ((*copy)["ZEV99_ID"].as_integer(), 4);  // left on the last row copied
  copy->set("TipoServizio", "mine");
  source.move_last();
  EXPECT_EQ(source["TipoServizio"].as_text(), "Tick");  // the copy is detached
}

TEST(TableOfSelectTest, FindsTheOneTable) {
  EXPECT_EQ(TableOfSelect("SELECT * FROM CG16_ANAGGEN WITH (NOLOCK) WHERE 1 = 0"), "CG16_ANAGGEN");
  EXPECT_EQ(TableOfSelect("select * from [dbo].[MG66_ANAGRART] where MG66_CODART = 'FROM x'"),
            "MG66_ANAGRART");
  EXPECT_EQ(TableOfSelect("SELECT (SELECT 1 FROM X) AS A FROM Palestra..Utenti"), "Utenti");
  EXPECT_THROW(TableOfSelect("SELECT 1"), DataError);
  EXPECT_THROW(TableOfSelect("SELECT * FROM A INNER JOIN B ON A.x = B.x"), DataError);
  EXPECT_THROW(TableOfSelect("SELECT * FROM A, B"), DataError);
}

// A database that records the writes it receives.
class RecordingDatabase : public Database {
 public:
  std::vector<RowWrite> inserts;
  std::vector<RowWrite> updates;
  Recordset next;

  std::int64_t execute(std::string_view) override { return 0; }
  Recordset open(std::string_view) override { return next; }
  std::string server_name() override { return "S"; }
  std::string dbms_version() override { return "16"; }
  std::string date_text(DateTime) const override { return ""; }
  std::optional<std::int64_t> insert_row(const RowWrite& w) override {
    inserts.push_back(w);
    return static_cast<std::int64_t>(inserts.size()) + 100;
  }
  std::int64_t update_row(const RowWrite& w) override {
    updates.push_back(w);
    return 1;
  }
  bool AcquireLock(std::string_view, std::chrono::milliseconds) override { return true; }
  void ReleaseLock(std::string_view) override {}
};

TEST(WritableRecordsetTest, SendsAssignedColumnsOnce) {
  RecordingDatabase db;
  db.next = Recordset({{"K", FieldType::kInteger}, {"A", FieldType::kText, 5}}, {{7, "old"}});
  WritableRecordset rs = db.open_for_insert("SELECT * FROM T WITH (NOLOCK) WHERE K = 7");
  EXPECT_EQ(rs.table(), "T");
  ASSERT_FALSE(rs.eof());
  rs.set("a", "new");
  rs.add_new();
  rs.set("K", 8);
  rs.set("A", "x");
  rs.set("A", "y");  // assigned twice, sent once with the last value
  EXPECT_THROW(rs.set("Missing", 1), DataError);
  rs.update_batch();
  ASSERT_EQ(db.updates.size(), 1u);
  EXPECT_EQ(db.updates[0].columns, std::vector<std::string>{"A"});
  EXPECT_EQ(db.updates[0].original_values[1], Value("old"));
  ASSERT_EQ(db.inserts.size(), 1u);
  EXPECT_EQ(db.inserts[0].columns, (std::vector<std::string>{"K", "A"}));
  EXPECT_EQ(db.inserts[0].values[1], Value("y"));
  EXPECT_EQ(rs.identity(), 101);
  rs.update_batch();  // nothing pending: nothing sent again
  EXPECT_EQ(db.inserts.size() + db.updates.size(), 2u);
}

}  // namespace
}  // namespace zodadovez
