// Runs every statement of the module's SQL corpus on an initialised embedded database seeded
// with a fixture, and checks the rows the queries return.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "host/data/backend.h"
#include "host/data/tsv.h"
#include "module/common/errors.h"
#include "tests/support/temp_dir.h"

namespace zodadovez {
namespace {

struct Entry {
  enum class Kind { kStatementOk, kStatementError, kQuery };
  Kind kind;
  int line;           // where the entry starts in the file
  std::string title;  // the comment above it
  std::string sql;
  bool has_expected = false;
  std::vector<std::string> expected;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

std::vector<Entry> ParseCorpus(const std::string& text) {
  std::vector<Entry> entries;
  std::istringstream in(text);
  std::string line;
  std::string title;
  int number = 0;
  Entry* current = nullptr;
  enum class Part { kNone, kSql, kExpected } part = Part::kNone;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (part == Part::kNone) {
      if (line.empty()) continue;
      if (line[0] == '#') {
        title = line.substr(1);
        continue;
      }
      Entry e;
      if (line == "statement ok") {
        e.kind = Entry::Kind::kStatementOk;
      } else if (line == "statement error") {
        e.kind = Entry::Kind::kStatementError;
      } else if (line == "query") {
        e.kind = Entry::Kind::kQuery;
      } else {
        throw std::runtime_error("corpus line " + std::to_string(number) + ": unexpected '" + line +
                                 "'");
      }
      e.line = number;
      e.title = title;
      entries.push_back(std::move(e));
      current = &entries.back();
      part = Part::kSql;
    } else if (line.empty()) {
      part = Part::kNone;
    } else if (part == Part::kSql && line == "----") {
      current->has_expected = true;
      part = Part::kExpected;
    } else if (part == Part::kSql) {
      current->sql += (current->sql.empty() ? "" : "\n") + line;
    } else {
      current->expected.push_back(line);
    }
  }
  return entries;
}

// The same files through the embedded backend ("sqlite") and through SQLite's ODBC driver
// ("odbc"), which share the bridge, the transaction count and the gym attachments.
class CorpusTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    InitDatabases(dir_.Uri(), "Palestra");
    const std::string uri = GetParam() == "sqlite" ? dir_.Uri()
                                                   : "odbc:Driver=SQLite3;Database=" +
                                                         (dir_.path() / "erp.db").string();
    // The same gym database also stands behind linked server GYM_2.
    db_ = OpenDatabase(uri, GymAccess::kReadWrite);
    RunScript(*db_, ReadFile(std::string(ZODADOVEZ_TEST_DATA) + "/corpus/fixture.sql"));
    db_.reset();
    std::filesystem::create_directories(dir_.path() / "linked" / "GYM_2");
    std::filesystem::copy_file(dir_.path() / "Palestra.db",
                               dir_.path() / "linked" / "GYM_2" / "Palestra.db");
    db_ = OpenDatabase(uri);
  }
  testing::TempDir dir_;
  std::unique_ptr<Database> db_;
};

#ifdef ZODADOVEZ_HAVE_ODBC
INSTANTIATE_TEST_SUITE_P(Backends, CorpusTest, ::testing::Values("sqlite", "odbc"));
#else
INSTANTIATE_TEST_SUITE_P(Backends, CorpusTest, ::testing::Values("sqlite"));
#endif

TEST_P(CorpusTest, EveryStatementRunsAndQueriesReturnWhatTheServerWould) {
  std::vector<std::pair<std::string, Entry>> entries;
  for (const char* file : {"statements.test", "transactions.test"}) {
    for (Entry& e : ParseCorpus(ReadFile(std::string(ZODADOVEZ_TEST_DATA) + "/corpus/" + file))) {
      entries.emplace_back(file, std::move(e));
    }
  }
  ASSERT_GT(entries.size(), 50u);
  for (const auto& [file, e] : entries) {
    SCOPED_TRACE(::testing::Message() << file << ":" << e.line << " (" << e.title << ")\n"
                                      << e.sql);
    switch (e.kind) {
      case Entry::Kind::kStatementOk:
        EXPECT_NO_THROW(db_->execute(e.sql));
        break;
      case Entry::Kind::kStatementError:
        try {
          db_->execute(e.sql);
          ADD_FAILURE() << "expected an error";
        } catch (const DataError& error) {
          if (e.has_expected && !e.expected.empty()) {
            EXPECT_NE(std::string(error.what()).find(e.expected[0]), std::string::npos)
                << error.what();
          }
        }
        break;
      case Entry::Kind::kQuery: {
        Recordset rs;
        try {
          rs = db_->open(e.sql);
        } catch (const Error& error) {
          ADD_FAILURE() << error.what();
          break;
        }
        EXPECT_TRUE(rs.is_open());
        if (!e.has_expected) break;
        std::vector<std::string> rows;
        for (rs.move_first(); !rs.eof(); rs.move_next()) rows.push_back(FormatTsvRow(rs));
        EXPECT_EQ(rows, e.expected);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace zodadovez
