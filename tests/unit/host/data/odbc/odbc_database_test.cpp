// The ODBC backend: its server-independent pieces always; the reads, writes and errors through
// SQLite's ODBC driver (libsqliteodbc) always, and against a real SQL Server when
// ZODADOVEZ_TEST_SQLSERVER holds an ODBC connection string.
#include "host/data/odbc/odbc_database.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "host/data/odbc/odbc_text.h"
#include "host/data/sqlite/sqlite_database.h"
#include "host/data/sqlite/tsql_rewriter.h"
#include "module/common/errors.h"
#include "tests/support/temp_dir.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZODADOVEZ_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZODADOVEZ_UNDER_ASAN 1
#endif
#endif

namespace zodadovez {
namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::ThrowsMessage;

// --- Without a server --------------------------------------------------------------------------

TEST(OdbcConnectionStringTest, MasksEveryFormOfPasswordAndNothingElse) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"Driver={FreeTDS};Server=h;UID=u;PWD=secret", "Driver={FreeTDS};Server=h;UID=u;PWD=***"},
      {"pwd={se;c}}ret};UID=u", "pwd=***;UID=u"},
      {"Server=h; Password = s3 ;UID=u", "Server=h; Password = *** ;UID=u"},
      {"PWD=a;PWD=b", "PWD=***;PWD=***"},
      {"Server=h;PWD=;UID=u", "Server=h;PWD=;UID=u"},
      {"DSN=erp", "DSN=erp"},
      // Forms the driver manager may read otherwise: masked the most generous way.
      {"Driver={FreeTDS;Server=erpsrv;UID=sa;PWD=S3cr3tPw!",
       "Driver={FreeTDS;Server=erpsrv;UID=sa;PWD=***"},
      {"Database={PWD=x};UID=u", "Database={PWD=***;UID=u"},
      {"UID=u;PWD={open;ended", "UID=u;PWD=***"},
      {"PASSWORD=\"a;b\";UID=u", "PASSWORD=***;UID=u"},
      {"Server=h;UID=hunter22;PWD=hunter22", "Server=h;UID=***;PWD=***"},
  };
  for (const auto& c : cases) EXPECT_EQ(odbc::MaskPassword(c.in), c.out) << c.in;

  EXPECT_EQ(odbc::ConnectionStringValue("pwd={se;c}}ret};UID=u", "PWD"), "se;c}ret");
  EXPECT_EQ(odbc::ConnectionStringValue("UID=a;uid=b", "UID"), "b");
  EXPECT_EQ(odbc::ConnectionStringValue("UID=a", "PWD"), std::nullopt);
  EXPECT_EQ(odbc::Scrub("login failed for sa/hunter2, hunter2", "hunter2"),
            "login failed for sa/***, ***");
  EXPECT_EQ(odbc::Scrub("xhunter2x", "hunter2"), "x***x");
  EXPECT_EQ(odbc::Scrub("can't open lib 'p': p", "p"), "can't open lib '***': ***");
  EXPECT_EQ(odbc::Scrub("unchanged", ""), "unchanged");
}

// Connection strings as people write them: the password attribute in any form (key in any
// case, blanks, braces closed or not, quotes), among others in any order, maybe twice, maybe
// inside the unclosed brace of the driver's name. The driver named is not installed, which the
// driver manager reports at once, quoting back a name that an unclosed brace ran on.
RC_GTEST_PROP(OdbcConnectionStringTest, NoMessageShowsAPassword, ()) {
  auto blank = [] { return *rc::gen::element<std::string>("", " ", "  "); };
  auto password = [] {
    return *rc::gen::container<std::string>(*rc::gen::inRange<std::size_t>(8, 17),
                                            rc::gen::elementOf(std::string("aZq7K9x!#%&=;{}\" '")));
  };
  auto replace = [](std::string text, std::string_view chars, char by) {
    for (char& c : text) c = chars.find(c) == std::string_view::npos ? c : by;
    return text;
  };
  const bool inside_driver = *rc::gen::arbitrary<bool>();
  std::vector<std::string> parts = {inside_driver ? "Driver={ZdvNoDriver" : "Driver={ZdvNoDriver}"};
  for (const char* other : {"Server=127.0.0.1", "Port=1", "Database=ERP", "UID=sa"}) {
    if (*rc::gen::arbitrary<bool>()) parts.push_back(other);
  }
  std::vector<std::string> secrets;
  const int count = *rc::gen::inRange(1, 3);
  for (int i = 0; i < count; ++i) {
    std::string secret = password();
    std::string value;
    const int form = inside_driver ? 0 : *rc::gen::inRange(0, 4);
    if (form == 0) {  // plain: up to the next ";", the blanks around it not its own
      secret = replace(secret, ";", ':');
      if (std::string_view(" {\"'").find(secret.front()) != std::string_view::npos) secret[0] = 'P';
      if (secret.back() == ' ') secret.back() = 'Q';
      value = secret;
    } else if (form == 3) {  // quoted
      secret = replace(secret, "\"", '\'');
      value = "\"" + secret + "\"";
    } else {  // braced, "}" doubled inside; closed or never
      for (char c : secret) value += c == '}' ? std::string("}}") : std::string(1, c);
      value = "{" + value + (form == 1 ? "}" : "");
    }
    secrets.push_back(secret);
    const std::string key =
        *rc::gen::element<std::string>("PWD", "pwd", "Pwd", "PASSWORD", "Password", "password");
    const std::size_t at =
        inside_driver ? parts.size() : *rc::gen::inRange<std::size_t>(0, parts.size() + 1);
    parts.insert(parts.begin() + static_cast<std::ptrdiff_t>(at),
                 blank() + key + blank() + "=" + blank() + value);
  }
  std::string connection;
  for (const std::string& part : parts) connection += (connection.empty() ? "" : ";") + part;
  RC_TAG(inside_driver);

  std::string failure;
  odbc::ConnectOptions once;
  once.sleep = [](std::chrono::milliseconds) {};
  try {
    OdbcDatabase db(connection, once);
  } catch (const Error& error) {
    failure = error.what();
  }
  RC_ASSERT(!failure.empty());
  for (const std::string& secret : secrets) {
    RC_ASSERT(failure.find(secret) == std::string::npos);
    RC_ASSERT(odbc::MaskPassword(connection).find(secret) == std::string::npos);
    RC_ASSERT(odbc::DescribeServer(connection).find(secret) == std::string::npos);
  }
}

TEST(OdbcConnectionStringTest, SetsOneAttributeInPlaceOfEveryEarlierOne) {
  EXPECT_EQ(odbc::WithAttribute("Driver={FreeTDS};Server=h;database=master;UID=u;DATABASE=x",
                                "Database", "ZDV_1"),
            "Driver={FreeTDS};Server=h;UID=u;Database={ZDV_1}");
  const std::string odd = odbc::WithAttribute("DSN=erp;PWD={a;b}", "Database", "a}b;c");
  EXPECT_EQ(odbc::ConnectionStringValue(odd, "Database"), "a}b;c");
  EXPECT_EQ(odbc::ConnectionStringValue(odd, "PWD"), "a;b");
}

TEST(OdbcConnectionStringTest, DescribesTheServerOrTheDataSource) {
  EXPECT_EQ(odbc::DescribeServer("Driver={FreeTDS};Server=sql01;Port=1433;PWD=x"),
            "SQL Server \"sql01,1433\"");
  EXPECT_EQ(odbc::DescribeServer("server={SQL01\\ERP}"), "SQL Server \"SQL01\\ERP\"");
  EXPECT_EQ(odbc::DescribeServer("DSN=erp;UID=u"), "data source \"erp\"");
  EXPECT_EQ(odbc::DescribeServer("UID=u"), "the server");
}

TEST(OdbcTextTest, ConvertsUtf8AndUtf16BothWays) {
  const std::string samples[] = {"", "Città", "Ærø — €", "gym \xF0\x9F\x8F\x8B"};
  for (const std::string& text : samples) {
    EXPECT_EQ(odbc::Utf16ToUtf8(odbc::Utf8ToUtf16(text)), text);
  }
  EXPECT_EQ(odbc::Utf8ToUtf16("\xF0\x9F\x8F\x8B"), (std::u16string{0xD83C, 0xDFCB}));
  // A Latin-1 byte, a truncated sequence, an overlong form and an encoded surrogate.
  EXPECT_EQ(odbc::Utf8ToUtf16("a\xE0"
                              "b"),
            u"a\uFFFDb");
  EXPECT_EQ(odbc::Utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");
  EXPECT_EQ(odbc::Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(odbc::Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(odbc::Utf16ToUtf8(std::u16string{u'x', 0xD800}), "x\xEF\xBF\xBD");
  EXPECT_EQ(odbc::Utf16ToUtf8(std::u16string{0xDC00, u'y'}), "\xEF\xBF\xBDy");
}

TEST(OdbcTextTest, ParsesDecimalTextExactlyAtTheColumnScale) {
  const struct {
    const char* text;
    int scale;
    const char* expected;
  } good[] = {
      {"12.50", 2, "12.50"},
      {".5", 2, "0.50"},
      {"-.5", 2, "-0.50"},
      {"1234", 2, "1234.00"},
      {" 7 ", 0, "7"},
      {"+0.000", 3, "0.000"},
      {"12345678901234.5678", 4, "12345678901234.5678"},
      {"99999999999999999999999999999999999999", 0, "99999999999999999999999999999999999999"},
      {"0.00000000000000000000000000005", 29, "0.0000000000000000000000000000"},
      {"0.00000000000000000000000000015", 29, "0.0000000000000000000000000002"},
      {"1.25", 1, "1.2"},
  };
  for (const auto& c : good) {
    Decimal value;
    ASSERT_TRUE(odbc::TryParseDecimalText(c.text, c.scale, &value)) << c.text;
    EXPECT_EQ(value.ToString(), c.expected) << c.text;
    EXPECT_EQ(value.scale(), std::min(c.scale, Decimal::kMaxScale)) << c.text;
  }
  const char* bad[] = {"",      "-",    ".",
                       "1.2.3", "12,5", "1e5",
                       "abc",   "--1",  "123456789012345678901234567890123456789"};
  for (const char* text : bad) {
    Decimal value;
    EXPECT_FALSE(odbc::TryParseDecimalText(text, 2, &value)) << text;
  }
  Decimal value;
  EXPECT_FALSE(odbc::TryParseDecimalText("99999999999999999999999999999999999999", 2, &value));
}

TEST(OdbcTextTest, WritesDatesSqlServerReadsUnderAnyLanguage) {
  EXPECT_EQ(odbc::SqlServerDateText(MakeDateTime(2024, 1, 31)), "20240131");
  EXPECT_EQ(odbc::SqlServerDateText(MakeDateTime(2024, 1, 31, 13, 5, 9)), "20240131 13:05:09");
  EXPECT_EQ(odbc::SqlServerDateText(MakeDateTime(1900, 1, 1, 0, 0, 1)), "19000101 00:00:01");
  EXPECT_EQ(odbc::SqlServerDateText(MakeDateTime(1899, 12, 30)), "18991230");
}

TEST(OdbcStatementTest, TurnsNumberedParametersIntoPlainMarkers) {
  const struct {
    const char* in;
    const char* out;
    std::vector<std::size_t> numbers;
  } cases[] = {
      {"SELECT ?2, ?1, ?2 FROM T", "SELECT ?, ?, ? FROM T", {2, 1, 2}},
      {"SELECT '?1' AS \"?2\", [?3], ?12 -- ?4\n/* ?5 */ ?",
       "SELECT '?1' AS \"?2\", [?3], ? -- ?4\n/* ?5 */ ?",
       {12, 13}},
      {"WHERE A = 'it''s ?1' AND B = ?1", "WHERE A = 'it''s ?1' AND B = ?", {1}},
      {"SELECT 1", "SELECT 1", {}},
  };
  for (const auto& c : cases) {
    const odbc::PositionalSql positional = odbc::ToPositionalMarkers(c.in);
    EXPECT_EQ(positional.text, c.out) << c.in;
    EXPECT_EQ(positional.numbers, c.numbers) << c.in;
  }
  EXPECT_TRUE(odbc::NamesSqliteDriver("Driver={SQLite3 ODBC Driver};Database=x"));
  EXPECT_FALSE(odbc::NamesSqliteDriver("Driver={FreeTDS};Server=sqlite"));
  EXPECT_EQ(odbc::WithDefault("Driver=SQLite3;timeout=1", "Timeout", "5000"),
            "Driver=SQLite3;timeout=1");
  EXPECT_EQ(odbc::WithDefault("Driver=SQLite3", "NoCreat", "1"), "Driver=SQLite3;NoCreat=1");
}

TEST(OdbcStatementTest, ComposesParameterisedWritesWithQuotedNames) {
  EXPECT_EQ(odbc::InsertStatement("ZEV99_RESULT", {"ZEV99_DITTA_CG18", "ZEV99_EXPORT"}),
            "INSERT INTO [ZEV99_RESULT] ([ZEV99_DITTA_CG18], [ZEV99_EXPORT]) VALUES (?, ?)");
  EXPECT_EQ(odbc::InsertStatement("T", {}), "INSERT INTO [T] DEFAULT VALUES");
  EXPECT_EQ(odbc::UpdateStatement("T", {"a]b", "c"}, {"k1", "k2"}),
            "UPDATE [T] SET [a]]b] = ?, [c] = ? WHERE [k1] = ? AND [k2] = ?");
  EXPECT_EQ(odbc::QuoteIdentifier("[x]"), "[[x]]]");
}

TEST(OdbcDiagnosticsTest, FormatsEveryRecordAndRecognisesALostLink) {
  const std::vector<odbc::Diagnostic> records = {
      {"42S02", 208, "[FreeTDS][SQL Server]Invalid object name 'X'."},
      {"42000", 8180, "[FreeTDS][SQL Server]Statement(s) could not be prepared."}};
  EXPECT_EQ(odbc::FormatDiagnostics(records),
            "[FreeTDS][SQL Server]Invalid object name 'X'. (SQLSTATE 42S02); "
            "[FreeTDS][SQL Server]Statement(s) could not be prepared. (SQLSTATE 42000)");
  EXPECT_FALSE(odbc::IsConnectionLost(records));
  for (const char* state : {"08S01", "08003", "08007"}) {
    EXPECT_TRUE(odbc::IsConnectionLost({{"01000", 0, "info"}, {state, 0, "gone"}})) << state;
  }
  EXPECT_FALSE(odbc::IsConnectionLost({{"08001", 0, "refused"}}));
}

TEST(OdbcColumnTest, ReadsEachServerTypeAsItsKind) {
  const FieldInfo amount = odbc::DescribeColumn("A", SQL_DECIMAL, 18, 4);
  EXPECT_EQ(amount.type, FieldType::kDecimal);
  EXPECT_EQ(amount.precision, 18);
  EXPECT_EQ(amount.scale, 4);
  EXPECT_EQ(odbc::DescribeColumn("T", SQL_VARCHAR, 80, 0).size, 80);
  EXPECT_EQ(odbc::DescribeColumn("T", SQL_WVARCHAR, 1073741823, 0).size, 0);  // nvarchar(max)
  EXPECT_EQ(odbc::DescribeColumn("T", SQL_WLONGVARCHAR, 2147483647, 0).type, FieldType::kText);
  EXPECT_EQ(odbc::DescribeColumn("B", SQL_BIT, 1, 0).type, FieldType::kBool);
  EXPECT_EQ(odbc::DescribeColumn("I", SQL_TINYINT, 3, 0).type, FieldType::kInteger);
  EXPECT_EQ(odbc::DescribeColumn("D", SQL_TYPE_DATE, 10, 0).type, FieldType::kDate);
  EXPECT_EQ(odbc::DescribeColumn("G", SQL_GUID, 36, 0).type, FieldType::kText);
  EXPECT_EQ(odbc::DescribeColumn("V", SQL_VARBINARY, 8, 0).type, FieldType::kBinary);
}

// Needs the FreeTDS driver registered (the tdsodbc package), but no server: nothing listens on
// port 1 of the loopback, which is a failure that may pass, so the connection is tried again,
// with growing pauses, as many times as the options allow. Without the driver the driver
// manager refuses at once instead, which must read the same way.
TEST(OdbcConnectTest, RefusedConnectionIsTriedAgainThenNamesTheServerAndHidesThePassword) {
  std::vector<std::chrono::milliseconds> pauses;
  odbc::ConnectOptions options;
  options.connect = {3, std::chrono::milliseconds(100), std::chrono::milliseconds(150)};
  options.sleep = [&](std::chrono::milliseconds pause) { pauses.push_back(pause); };
  try {
    OdbcDatabase db(
        "Driver={FreeTDS};Server=127.0.0.1;Port=1;Database=ERP;UID=sa;"
        "PWD={Hunter2;x};TDS_Version=7.4",
        options);
    FAIL() << "connected to nothing";
  } catch (const DataError& error) {
    EXPECT_THAT(error.what(), AllOf(HasSubstr("SQL Server \"127.0.0.1,1\""), HasSubstr("PWD=***"),
                                    HasSubstr("(SQLSTATE "), Not(HasSubstr("Hunter2"))));
    if (std::string(error.what()).find("IM002") != std::string::npos) {
      EXPECT_TRUE(pauses.empty());
      GTEST_SKIP() << "the FreeTDS driver is not registered: " << error.what();
    }
    EXPECT_THAT(error.what(), HasSubstr("(3 tries)"));
    EXPECT_EQ(pauses, (std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(100),
                                                              std::chrono::milliseconds(150)}));
  }
}

// --- Through a driver: SQLite's always, a SQL Server when one is named -------------------------

enum class Driver { kSqlite, kSqlServer };

std::string DriverName(Driver driver) { return driver == Driver::kSqlite ? "Sqlite" : "SqlServer"; }
// How GoogleTest names the parameter in its messages.
void PrintTo(Driver driver, std::ostream* out) { *out << DriverName(driver); }

// The reason the driver cannot be tested here, or empty.
std::string Unavailable(Driver driver) {
  if (driver == Driver::kSqlite) return "";
  const char* connection = std::getenv("ZODADOVEZ_TEST_SQLSERVER");
  if (connection == nullptr || *connection == '\0') {
    return "ZODADOVEZ_TEST_SQLSERVER is not set: no SQL Server to test against";
  }
  return "";
}

// One suite for both drivers: each supplies its connection and the few texts of its own; the
// expectations are the same, except where SQL Server itself differs from the files that stand
// in for it (said where it does).
class OdbcDriverTest : public ::testing::TestWithParam<Driver> {
 protected:
  void SetUp() override {
    if (std::string why = Unavailable(GetParam()); !why.empty()) GTEST_SKIP() << why;
    if (server()) {
      db_ = std::make_unique<OdbcDatabase>(std::getenv("ZODADOVEZ_TEST_SQLSERVER"));
    } else {
      // An empty ERP file, as the embedded backend creates it.
      SqliteDatabase(dir_.path() / "erp.db", true);
      try {
        db_ = std::make_unique<OdbcDatabase>(Sqlite());
      } catch (const DataError& error) {
        if (std::string(error.what()).find("IM002") == std::string::npos) throw;
        GTEST_SKIP() << "SQLite's ODBC driver is not registered (libsqliteodbc): " << error.what();
      }
    }
    // Real tables: the primary key of a #temporary table is not in the database's metadata.
    suffix_ = std::to_string(getpid());
    keyed_ = "ZZODBC_KEYED_" + suffix_;
    counted_ = "ZZODBC_COUNTED_" + suffix_;
    DropTables();
    db_->execute(
        fmt::format("CREATE TABLE {} (K1 varchar(10) NOT NULL, K2 decimal(5, 0) NOT NULL, "
                    "AMOUNT decimal(18, 4) NULL, NOTE varchar(80) NULL, WIDE nvarchar(40) NULL, "
                    "WHEN_AT datetime NULL, FLAG bit NULL, COUNTER int NULL, RATIO float NULL, "
                    "LONGTEXT nvarchar(max) NULL, FIXED char(4) NULL, "
                    "CONSTRAINT PK_{} PRIMARY KEY (K1, K2))",
                    keyed_, keyed_));
    db_->execute(fmt::format(
        "CREATE TABLE {} (ID int IDENTITY(1, 1) NOT NULL PRIMARY KEY, NAME varchar(20) NULL)",
        counted_));
  }
  void TearDown() override {
    if (db_ && server()) DropTables();
  }
  void DropTables() {
    if (!server()) return;  // a fresh file
    for (const std::string& table : {keyed_, counted_}) {
      db_->execute(fmt::format("IF OBJECT_ID('{}') IS NOT NULL DROP TABLE {}", table, table));
    }
  }
  bool server() const { return GetParam() == Driver::kSqlServer; }
  std::string Sqlite() const {
    return "Driver=SQLite3;Database=" + (dir_.path() / "erp.db").string();
  }

  testing::TempDir dir_;
  std::unique_ptr<OdbcDatabase> db_;
  std::string suffix_;
  std::string keyed_;
  std::string counted_;
};

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcDriverTest,
                         ::testing::Values(Driver::kSqlite, Driver::kSqlServer),
                         [](const ::testing::TestParamInfo<Driver>& param) {
                           return DriverName(param.param);
                         });

TEST_P(OdbcDriverTest, ReadsEveryKindExactly) {
  const std::string long_text(100000, 'x');
  // SQLite holds amounts as doubles: exact up to 15 significant digits.
  const std::string amount = server() ? "-12345678901234.5678" : "-1234567890.5678";
  db_->execute(fmt::format(
      "INSERT INTO {} VALUES ('A', 1, {}, 'Città d''arte', N'Ærø \u20AC', "
      "'{}', 1, 42, 0.25, {}, 'ab')",
      keyed_, amount, db_->date_text(MakeDateTime(2024, 1, 31, 13, 5, 9)),
      server() ? "REPLICATE(CAST(N'x' AS nvarchar(max)), 100000)" : "'" + long_text + "'"));
  db_->execute(fmt::format("INSERT INTO {} (K1, K2) VALUES ('B', 2)", keyed_));

  Recordset rs = db_->open(fmt::format("SELECT * FROM {} ORDER BY K1", keyed_));
  ASSERT_EQ(rs.record_count(), 2u);
  EXPECT_EQ(rs["K2"], Value(Decimal(1)));
  EXPECT_EQ(rs["AMOUNT"].as_decimal().ToString(), amount);
  EXPECT_EQ(rs["NOTE"], Value("Città d'arte"));
  EXPECT_EQ(rs["WIDE"], Value("Ærø €"));
  EXPECT_EQ(rs["WHEN_AT"], Value(MakeDateTime(2024, 1, 31, 13, 5, 9)));
  EXPECT_EQ(rs["FLAG"], Value(true));
  EXPECT_EQ(rs["COUNTER"], Value(42));
  EXPECT_EQ(rs["RATIO"], Value(0.25));
  EXPECT_EQ(rs["LONGTEXT"], Value(long_text));
  EXPECT_EQ(rs["FIXED"], Value("ab  "));  // char(n) comes back padded
  const FieldInfo& field = rs.fields()[static_cast<std::size_t>(rs.field_index("AMOUNT"))];
  EXPECT_EQ(field.precision, 18);
  EXPECT_EQ(field.scale, 4);
  rs.move_next();
  EXPECT_TRUE(rs["AMOUNT"].is_null());
  EXPECT_TRUE(rs["LONGTEXT"].is_null());
  EXPECT_TRUE(rs["WHEN_AT"].is_null());
  // Text compares as the ERP's collation does: ignoring case and trailing blanks.
  EXPECT_EQ(db_->open(fmt::format("SELECT COUNT(*) AS N FROM {} WHERE NOTE = 'CITTÀ D''ARTE  '",
                                  keyed_))["N"],
            Value(1));
}

TEST_P(OdbcDriverTest, ExecuteCountsRowsAndLeavesTheConnectionFree) {
  EXPECT_EQ(db_->execute(fmt::format("UPDATE {} SET NOTE = 'x' WHERE K1 = 'none'", keyed_)), 0);
  EXPECT_EQ(db_->execute(fmt::format("INSERT INTO {} (K1, K2) VALUES ('A', 1), ('B', 2)", keyed_)),
            2);
  if (server()) {
    // A batch that prints, returns rows and counts: every result is consumed.
    EXPECT_EQ(db_->execute(fmt::format("PRINT 'hello'; SELECT * FROM {}; UPDATE {} SET NOTE = 'y'",
                                       keyed_, keyed_)),
              2);
  } else {
    EXPECT_EQ(db_->execute(fmt::format("UPDATE {} SET NOTE = 'y'", keyed_)), 2);
  }
  EXPECT_EQ(db_->open(fmt::format("SELECT NOTE FROM {} WHERE K1 = 'A'", keyed_))["NOTE"],
            Value("y"));
  EXPECT_FALSE(db_->open("UPDATE " + keyed_ + " SET NOTE = NULL WHERE 1 = 0").is_open());
}

TEST_P(OdbcDriverTest, RefusedStatementsCarryTextAndState) {
  try {
    db_->execute("SELECT * FROM ZZODBC_NO_SUCH_TABLE");
    FAIL() << "the database accepted a missing table";
  } catch (const DataError& error) {
    // SQLite's driver gives every refusal the general state HY000.
    EXPECT_THAT(error.what(),
                AllOf(HasSubstr("while executing \"SELECT * FROM ZZODBC_NO_SUCH_TABLE\""),
                      HasSubstr(server() ? "(SQLSTATE 42S02)" : "(SQLSTATE HY000)")));
  }
  if (server()) {
    // An error after a first result still surfaces.
    EXPECT_THROW(db_->execute("SELECT 1; RAISERROR('late failure', 16, 1)"), DataError);
  } else {
    // What the bridge does not know is refused before the driver sees it.
    EXPECT_THROW(db_->execute("RAISERROR('late failure', 16, 1)"), TranslateError);
  }
  // The connection stays usable.
  EXPECT_EQ(db_->open("SELECT 7 AS N")["N"], Value(7));
}

TEST_P(OdbcDriverTest, WritesByPrimaryKeyWithExactValues) {
  RowWrite insert{keyed_, {"K1", "K2", "AMOUNT", "NOTE", "WHEN_AT", "FLAG", "WIDE"}, {}, {}, {}};
  insert.values = {Value("A"),
                   Value(Decimal(1)),
                   Value(Decimal::Parse("0.1000")),
                   Value("O'Neil è"),
                   Value(MakeDateTime(2024, 2, 29)),
                   Value(false),
                   Value(Null{})};
  EXPECT_EQ(db_->insert_row(insert), std::nullopt);  // no identity column
  insert.values[0] = Value("B");
  insert.values[2] = Value("1.234,5");  // text into a decimal column: the Italian form
  insert.values[6] = Value("€");
  db_->insert_row(insert);

  Recordset found = db_->open(fmt::format("SELECT * FROM {} WHERE K1 = 'A'", keyed_));
  RowWrite update{keyed_,
                  {"AMOUNT", "NOTE"},
                  {Value(Decimal::Parse("12.34565")), Value(Null{})},
                  found.fields(),
                  {}};
  for (std::size_t i = 0; i < found.fields().size(); ++i) {
    update.original_values.push_back(found.at(i));
  }
  EXPECT_EQ(db_->update_row(update), 1);
  update.original_values[0] = Value("missing");
  EXPECT_EQ(db_->update_row(update), 0);
  EXPECT_EQ(db_->PrimaryKey(keyed_), (std::vector<std::string>{"K1", "K2"}));

  Recordset rows = db_->open(fmt::format("SELECT * FROM {} ORDER BY K1", keyed_));
  // Rounded half away from zero into the column's scale of 4, as the server itself rounds.
  EXPECT_EQ(rows["AMOUNT"].as_decimal().ToString(), "12.3457");
  EXPECT_TRUE(rows["NOTE"].is_null());
  EXPECT_EQ(rows["WHEN_AT"], Value(MakeDateTime(2024, 2, 29)));
  rows.move_next();
  EXPECT_EQ(rows["AMOUNT"].as_decimal().ToString(), "1234.5000");
  EXPECT_EQ(rows["NOTE"], Value("O'Neil è"));
  EXPECT_EQ(rows["WIDE"], Value("€"));
  // A date compares with the text the connection writes for it.
  EXPECT_EQ(db_->open(fmt::format("SELECT K1 FROM {} WHERE WHEN_AT = '{}' ORDER BY K1", keyed_,
                                  db_->date_text(MakeDateTime(2024, 2, 29))))
                .record_count(),
            2u);
}

TEST_P(OdbcDriverTest, InsertReturnsTheIdentityEvenWhenPrepared) {
  RowWrite write{counted_, {"NAME"}, {Value("one")}, {}, {}};
  const std::optional<std::int64_t> first = db_->insert_row(write);
  write.values[0] = Value(Null{});
  const std::optional<std::int64_t> second = db_->insert_row(write);
  ASSERT_TRUE(first.has_value());
  ASSERT_TRUE(second.has_value());
  EXPECT_EQ(*second, *first + 1);
  EXPECT_EQ(db_->open("SELECT COUNT(*) AS N FROM " + counted_)["N"], Value(2));
}

TEST_P(OdbcDriverTest, TransactionsCommitAndRollBackAsText) {
  const std::string insert = fmt::format("INSERT INTO {} (NAME) VALUES ('t')", counted_);
  const std::string count = "SELECT COUNT(*) AS N FROM " + counted_;
  db_->execute("BEGIN TRANSACTION");
  db_->execute(insert);
  db_->execute("ROLLBACK");
  EXPECT_EQ(db_->open(count)["N"], Value(0));
  db_->execute("BEGIN TRAN");
  db_->execute(insert);
  db_->execute("COMMIT");
  EXPECT_EQ(db_->open(count)["N"], Value(1));
}

TEST_P(OdbcDriverTest, ReportsServerAndVersion) {
  EXPECT_FALSE(db_->server_name().empty());
  const std::string version = db_->dbms_version();
  ASSERT_GE(version.size(), 2u);
  EXPECT_GE(std::stoi(version.substr(0, 2)), 9) << version;
  if (server()) {
    EXPECT_EQ(db_->open("SELECT CAST('" + db_->date_text(MakeDateTime(2024, 12, 1, 8, 0, 0)) +
                        "' AS datetime) AS D")["D"],
              Value(MakeDateTime(2024, 12, 1, 8, 0, 0)));
  } else {
    // The embedded backend's name, so that the same configurations use three-part names.
    EXPECT_EQ(db_->server_name(), "EMBEDDED");
  }
}

// Through SQLite's driver, the same statements on the same file read as the embedded backend
// reads them: field kinds, sizes and scales, and values, for columns, expressions, a gym
// database reached by a three-part name, a #temporary table and a stand-in procedure.
TEST_P(OdbcDriverTest, ReadsAsTheEmbeddedBackendDoes) {
  if (server()) GTEST_SKIP() << "compares SQLite's driver with the embedded backend";
  {
    SqliteDatabase gym(dir_.path() / "Palestra.db", true);
    gym.execute(
        "CREATE TABLE Utenti (ID int NOT NULL, NOME varchar(30) NULL, QUOTA decimal(9, 2) "
        "NULL, SESSO char(1) NULL, NATO datetime NULL)");
    gym.execute(
        "INSERT INTO Utenti VALUES (1, 'Lucía', 12.5, 'F', '1990-05-01 00:00:00'), "
        "(2, 'ÖMER', NULL, NULL, NULL)");
  }
  db_->execute(
      fmt::format("INSERT INTO {} (K1, K2, AMOUNT, NOTE, FIXED, COUNTER, RATIO) VALUES "
                  "('a', 1, 0.1, 'città', 'x', 3, 1.5), ('B', 2, 2, NULL, NULL, 4, 2)",
                  keyed_));
  bool called = false;
  db_->RegisterProcedure("SPZZ_TEST", [&](Database& db, const bridge::ProcedureCall& call) {
    called = call.arguments.size() == 1;
    return db.open("SELECT TOP 1 NOME FROM Palestra.dbo.Utenti WITH (NOLOCK) ORDER BY ID DESC");
  });
  SqliteDatabase embedded(dir_.path() / "erp.db", false);
  embedded.RegisterProcedure("SPZZ_TEST", [&](Database& db, const bridge::ProcedureCall&) {
    return db.open("SELECT TOP 1 NOME FROM Palestra.dbo.Utenti WITH (NOLOCK) ORDER BY ID DESC");
  });
  const std::string selects[] = {
      "SELECT * FROM " + keyed_ + " ORDER BY K1",
      "SELECT K1 AS CODE, AMOUNT * 2 AS TWICE, COUNT(*) AS N, SUM(AMOUNT) AS TOTAL, "
      "ISNULL(NOTE, 'none') AS NOTE, UPPER(NOTE) AS SHOUT FROM " +
          keyed_ + " WHERE K1 = 'A' GROUP BY K1, AMOUNT, NOTE",
      "SELECT U.NOME, U.QUOTA, U.SESSO, U.NATO FROM Palestra.dbo.Utenti U WITH (NOLOCK) "
      "WHERE U.NOME LIKE 'lu%' OR U.NOME = 'ömer' ORDER BY U.ID",
      "SELECT NOME, QUOTA INTO #ZZ FROM Palestra.dbo.Utenti",
      "SELECT * FROM #ZZ WHERE NOME = 'LUCÍA'",
      "EXEC SPZZ_TEST 1",
  };
  for (const std::string& select : selects) {
    SCOPED_TRACE(select);
    Recordset expected = embedded.open(select);
    Recordset actual = db_->open(select);
    ASSERT_EQ(actual.is_open(), expected.is_open());
    if (!expected.is_open()) continue;
    ASSERT_EQ(actual.fields().size(), expected.fields().size());
    for (std::size_t i = 0; i < expected.fields().size(); ++i) {
      const FieldInfo& a = actual.fields()[i];
      const FieldInfo& e = expected.fields()[i];
      EXPECT_EQ(std::tie(a.name, a.type, a.size, a.precision, a.scale),
                std::tie(e.name, e.type, e.size, e.precision, e.scale))
          << e.name;
    }
    ASSERT_EQ(actual.record_count(), expected.record_count());
    for (; !expected.eof(); expected.move_next(), actual.move_next()) {
      for (std::size_t i = 0; i < expected.fields().size(); ++i) {
        EXPECT_EQ(actual.at(i), expected.at(i)) << expected.fields()[i].name;
      }
    }
  }
  EXPECT_TRUE(called);
}

// Through SQLite's driver a run lock is the embedded backend's lock file, so that the two
// exclude each other on the same files; gym databases are attached read-only, and only outside
// a transaction.
TEST_P(OdbcDriverTest, LocksAndAttachesAsTheEmbeddedBackendDoes) {
  if (server()) GTEST_SKIP() << "SQLite's driver only";
  using std::chrono::milliseconds;
  for (const char* gym : {"Palestra", "Altra"}) {
    SqliteDatabase file(dir_.path() / (std::string(gym) + ".db"), true);
    file.execute("CREATE TABLE Utenti (ID int NOT NULL)");
  }
  SqliteDatabase embedded(dir_.path() / "erp.db", false);
  EXPECT_TRUE(db_->AcquireLock("ZODADOVEZ_IMPORT_1", milliseconds(0)));
  EXPECT_FALSE(embedded.AcquireLock("ZODADOVEZ_IMPORT_1", milliseconds(0)));
  db_->ReleaseLock("ZODADOVEZ_IMPORT_1");
  EXPECT_TRUE(embedded.AcquireLock("ZODADOVEZ_IMPORT_1", milliseconds(0)));
  EXPECT_FALSE(db_->AcquireLock("ZODADOVEZ_IMPORT_1", milliseconds(0)));

  EXPECT_EQ(db_->open("SELECT COUNT(*) AS N FROM Palestra.dbo.Utenti")["N"], Value(0));
  EXPECT_THAT([&] { db_->execute("INSERT INTO Palestra.dbo.Utenti VALUES (1)"); },
              ThrowsMessage<DataError>(HasSubstr("readonly")));
  db_->execute("BEGIN TRANSACTION");
  EXPECT_THAT([&] { db_->open("SELECT COUNT(*) AS N FROM Altra.dbo.Utenti"); },
              ThrowsMessage<DataError>(HasSubstr("inside a transaction")));
  db_->execute("ROLLBACK TRANSACTION");
  EXPECT_EQ(db_->open("SELECT COUNT(*) AS N FROM Altra.dbo.Utenti")["N"], Value(0));
}

TEST_P(OdbcDriverTest, SqliteConnectionsNameWhatIsMissing) {
  if (server()) GTEST_SKIP() << "SQLite's driver only";
  const struct {
    std::string connection;
    const char* message;
  } cases[] = {
      {"Driver=SQLite3;Database=" + (dir_.path() / "none.db").string(),
       "ERP database file not found"},
      {"Driver=SQLite3", "names no Database file"},
#ifndef ZODADOVEZ_UNDER_ASAN
      // The driver never frees SQLite's message about an extension that does not load, which
      // LeakSanitizer would report.
      {Sqlite() + ";LoadExt=" + (dir_.path() / "nothing.so").string(), "LoadExt="},
#endif
  };
  for (const auto& c : cases) {
    try {
      OdbcDatabase db(c.connection);
      ADD_FAILURE() << "connected with " << c.connection;
    } catch (const Error& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.message)) << c.connection;
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "none.db"));
}

}  // namespace
}  // namespace zodadovez
