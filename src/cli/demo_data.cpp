// The demo databases: what an ERP company needs to import two gyms, and the gyms themselves.
#include "cli/demo_data.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "host/data/backend.h"
#include "host/data/sqlite/sqlite_database.h"
#include "host/schema/schemas.h"
#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/sql_text.h"
#include "module/common/value.h"

namespace zodadovez::cli {

// The lists under src/cli/data, compiled in by CMake.
extern const char* const kDemoList_nomi;
extern const char* const kDemoList_cognomi;
extern const char* const kDemoList_comuni;
extern const char* const kDemoList_vie;

namespace {

using Day = std::chrono::sys_days;

constexpr int kCompany = 1;
constexpr const char* kGenericCustomerName = "CLIENTI DIVERSI";
constexpr std::int64_t kGenericCustomer = 1;
constexpr int kYear = 2024;
// The receipts span these days, shops closed on Sundays.
constexpr std::chrono::year_month_day kFirstDay{std::chrono::year{kYear}, std::chrono::January,
                                                std::chrono::day{8}};
constexpr std::chrono::year_month_day kLastDay{std::chrono::year{kYear}, std::chrono::June,
                                               std::chrono::day{29}};
// Receipts written between two commits of the gym database.
constexpr std::int64_t kReceiptsPerCommit = 2000;

DateTime At(Day day, int hour = 0, int minute = 0) {
  return DateTime(day) + std::chrono::hours(hour) + std::chrono::minutes(minute);
}

Day AddMonths(Day day, int months) {
  std::chrono::year_month_day ymd{day};
  ymd += std::chrono::months(months);
  if (!ymd.ok()) ymd = ymd.year() / ymd.month() / std::chrono::last;
  return Day(ymd);
}

Value Money(std::int64_t cents) { return Value(Decimal::FromParts(cents, 2)); }
Value Quantity(std::int64_t units) { return Value(Decimal(units)); }
Value TextOrNull(const std::string& text) { return text.empty() ? Value(Null{}) : Value(text); }

// std::mt19937_64 with draws of our own: the standard distributions differ between libraries,
// and the same seed must give the same databases everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  // A number in [0, n). The modulo bias of a 64-bit draw is far below anything a demo shows.
  std::uint64_t Below(std::uint64_t n) { return engine_() % n; }
  std::int64_t Between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(Below(static_cast<std::uint64_t>(high - low + 1)));
  }
  bool Percent(int percent) { return Below(100) < static_cast<std::uint64_t>(percent); }
  template <class T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(items.size())];
  }
  // An index drawn with the given weights.
  std::size_t Weighted(std::initializer_list<int> weights) {
    int total = 0;
    for (int w : weights) total += w;
    auto draw = static_cast<int>(Below(static_cast<std::uint64_t>(total)));
    std::size_t index = 0;
    for (int w : weights) {
      if (draw < w) return index;
      draw -= w;
      ++index;
    }
    return weights.size() - 1;
  }
  template <class T>
  void Shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[Below(i)]);
  }

 private:
  std::mt19937_64 engine_;
};

// --- Lists -----------------------------------------------------------------------------------

// The lines of an embedded list, each split at commas; blank lines and "#" comments skipped.
std::vector<std::vector<std::string>> ReadList(std::string_view text, std::size_t fields,
                                               const char* name) {
  std::vector<std::vector<std::string>> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.empty() || line.front() == '#') continue;
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (true) {
      std::size_t comma = line.find(',', from);
      parts.emplace_back(line.substr(from, comma == std::string_view::npos ? comma : comma - from));
      if (comma == std::string_view::npos) break;
      from = comma + 1;
    }
    if (parts.size() != fields) {
      throw Error(fmt::format("demo list {}: \"{}\" has {} fields, expected {}", name, line,
                              parts.size(), fields));
    }
    lines.push_back(std::move(parts));
  }
  if (lines.empty()) throw Error(fmt::format("demo list {} is empty", name));
  return lines;
}

struct Town {
  std::string postal_code;
  std::string name;  // upper case, as the ERP's town table writes it
  std::string province;
  std::string code;  // cadastral code
  bool in_erp = false;
};

struct FirstName {
  std::string name;
  bool female = false;
};

struct Lists {
  std::vector<FirstName> names;
  std::vector<std::string> surnames;
  std::vector<std::string> streets;
  std::vector<Town> towns;
};

Lists LoadLists() {
  Lists lists;
  for (auto& f : ReadList(kDemoList_nomi, 2, "nomi")) {
    lists.names.push_back({f[0], f[1] == "F"});
  }
  for (auto& f : ReadList(kDemoList_cognomi, 1, "cognomi")) lists.surnames.push_back(f[0]);
  for (auto& f : ReadList(kDemoList_vie, 1, "vie")) lists.streets.push_back(f[0]);
  std::size_t index = 0;
  for (auto& f : ReadList(kDemoList_comuni, 4, "comuni")) {
    // Every fourth town is missing from the ERP's town table, so that customers are created
    // both with and without a town code.
    lists.towns.push_back({f[0], f[1], f[2], f[3], index % 4 != 3});
    ++index;
  }
  return lists;
}

// "SANT'ANGELO LODIGIANO" as a gym user would type it: "Sant'Angelo Lodigiano".
std::string TitleCase(std::string_view text) {
  std::string out;
  bool start = true;
  for (char c : text) {
    bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (letter) {
      out += start ? static_cast<char>(c & ~0x20) : static_cast<char>(c | 0x20);
      start = false;
    } else {
      out += c;
      start = true;
    }
  }
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

// --- Writing ---------------------------------------------------------------------------------

using Columns = std::initializer_list<std::pair<std::string_view, Value>>;

// Adds rows to one table through a writable recordset, sending them in batches; the backend
// prepares the INSERT once and binds each row's values.
class RowWriter {
 public:
  enum class Route { kRecordset, kStatement };

  RowWriter(Database& db, std::string_view table, Route route = Route::kRecordset)
      : db_(db),
        table_(table),
        select_(fmt::format("SELECT * FROM {} WHERE 1 = 0", table)),
        route_(route) {}

  void Add(Columns columns) {
    ++rows_;
    if (route_ == Route::kStatement) {
      Execute(columns);
      return;
    }
    // A recordset keeps every record it sent: start a fresh one after each batch.
    if (pending_ >= kBatchRows) Flush();
    if (!rs_) rs_.emplace(db_.open_for_insert(select_));
    rs_->add_new();
    for (const auto& [column, value] : columns) rs_->set(column, value);
    ++pending_;
  }
  // Assigns one more column of the row added last. REQUIRES: the recordset route.
  void Set(std::string_view column, Value value) { rs_->set(column, std::move(value)); }
  void Flush() {
    if (!rs_) return;
    rs_->update_batch();
    rs_.reset();
    pending_ = 0;
  }
  std::int64_t rows() const { return rows_; }

 private:
  static constexpr std::size_t kBatchRows = 500;

  // One INSERT statement with the values as literals (texts through SqlQuote); the embedded
  // backend lifts them into parameters again and keeps the statement prepared by its shape.
  void Execute(Columns columns) {
    std::string names, values;
    for (const auto& [column, value] : columns) {
      names += fmt::format("{}{}", names.empty() ? "" : ", ", column);
      std::string literal;
      switch (value.kind()) {
        case ValueKind::kEmpty:
        case ValueKind::kNull:
          literal = "NULL";
          break;
        case ValueKind::kBool:
          literal = value.as_bool() ? "1" : "0";
          break;
        case ValueKind::kInteger:
          literal = std::to_string(value.as_integer());
          break;
        case ValueKind::kDecimal:
          literal = value.as_decimal().ToString();
          break;
        case ValueKind::kDouble:
          literal = value.ToDecimal().ToString();
          break;
        case ValueKind::kText:
          literal = SqlQuote(value.as_text());
          break;
        case ValueKind::kDate:
          literal = SqlQuote(db_.date_text(value.as_date()));
          break;
      }
      values += fmt::format("{}{}", values.empty() ? "" : ", ", literal);
    }
    db_.execute(fmt::format("INSERT INTO {} ({}) VALUES ({})", table_, names, values));
  }

  Database& db_;
  std::string table_;
  std::string select_;
  Route route_;
  std::optional<WritableRecordset> rs_;
  std::size_t pending_ = 0;
  std::int64_t rows_ = 0;
};

// Writes one row at once.
void Insert(Database& db, std::string_view table, Columns columns) {
  RowWriter writer(db, table);
  writer.Add(columns);
  writer.Flush();
}

// --- The gyms --------------------------------------------------------------------------------

// Service types of the till, as configured in ZEV03_TIPISERVIZI.
constexpr const char* kTypeSubscription = "A";
constexpr const char* kTypeTicket = "T";
constexpr const char* kTypeBar = "B";
// Percent of bar sales that sell a kit.
constexpr int kKitPercent = 5;
constexpr const char* kTypeFee = "I";
constexpr const char* kTypeBooking = "P";
constexpr const char* kTypeAgenda = "G";
constexpr const char* kTypePurse = "W";
constexpr const char* kTypeSwimming = "N";
constexpr const char* kTypeDeposit = "C";
constexpr const char* kTypeMedical = "M";
constexpr const char* kTypeManual = "X";
constexpr const char* kTypeStamp = "U";

enum class Vat { k22, k10, k4, kExempt };

struct VatDef {
  int rate;
  const char* description;
  const char* code;
};

const VatDef& VatOf(Vat vat) {
  static const VatDef kVats[] = {
      {22, "22%", "22"}, {10, "10%", "10"}, {4, "4%", "4"}, {0, "Esente art.10", "E1"}};
  return kVats[static_cast<int>(vat)];
}

enum class Area { kFitness, kPool, kBar, kCourses, kWellness, kDesk };
constexpr std::size_t kAreas = 6;

// Gym services sold without a catalogue of their own (service kinds 4, 5 and 7 to 12).
struct FixedService {
  const char* service_type;
  const char* description;
  std::int64_t price;
  Vat vat;
  Area area;
};

const FixedService& Fixed(const char* service_type) {
  static const FixedService kFixed[] = {
      {kTypeFee, "Quota associativa 2024", 3000, Vat::kExempt, Area::kDesk},
      {kTypeBooking, "Prenotazione campo", 700, Vat::k22, Area::kCourses},
      {kTypePurse, "Ricarica borsellino", 2000, Vat::kExempt, Area::kDesk},
      {kTypeSwimming, "Corso nuoto 10 lezioni", 12000, Vat::k22, Area::kPool},
      {kTypeDeposit, "Cauzione tessera", 500, Vat::kExempt, Area::kDesk},
      {kTypeMedical, "Visita medico sportiva", 6000, Vat::kExempt, Area::kWellness},
      {kTypeManual, "Movimento manuale di cassa", 1000, Vat::k22, Area::kDesk},
      {kTypeStamp, "Imposta di bollo", 200, Vat::kExempt, Area::kDesk},
  };
  for (const FixedService& s : kFixed) {
    if (std::string_view(s.service_type) == service_type) return s;
  }
  throw Error(fmt::format("demo: no fixed service of type {}", service_type));
}

struct NamedId {
  int id;
  std::string description;
};
struct CentreCategory {
  int id;
  std::string code;
  std::string description;
};
struct Centre {
  int id;
  int category;
  std::string code;
  std::string description;
};
struct SubscriptionCategory {
  int id;
  int macro;
  std::string description;
};
struct Duration {
  int id;
  int length;
  std::string period;  // M months, S weeks
  std::int64_t price;
};
struct Subscription {
  int id;
  int category;
  std::string description;
  Area area;
  std::vector<Duration> durations;
};
// An agenda service or a ticket.
struct Service {
  int id;
  int category;
  std::string description;
  std::int64_t price;
  Area area;
};
struct ProductCategory {
  int id;
  int macro;
  std::string description;
  Vat vat;
};
struct Product {
  int id;
  int category;
  std::string code;
  std::string description;
  std::int64_t price;
};
struct GymCompany {
  int id;
  std::string description;
  std::string vat_number;
  int share;  // percent of the gym's receipts
};

// What kind of receipt a deck card stands for.
enum class ReceiptKind {
  kCustomer,        // a receipt to a gym user, one document
  kWalkIn,          // a receipt without customer: the company's generic customer
  kInvoice,         // an invoice to a gym user, one document of another type
  kGrouped,         // counter sales without customer, one document per day and section
  kNotTransferred,  // a receipt type that stays in the gym
  kCancelled,       // a receipt to a gym user, cancelled at the till
};

struct GymProfile {
  std::string database;
  int patch_level = 0;
  std::int64_t first_user = 1;
  std::vector<ReceiptKind> deck;  // shuffled and dealt again, so every kind shows up
  std::vector<GymCompany> companies;
  std::vector<CentreCategory> centre_categories;
  std::vector<Centre> centres;
  std::array<int, kAreas> centre_of_area{};
  int bar_counter = 0;  // the BE row of the bar
  std::vector<NamedId> subscription_macros;
  std::vector<SubscriptionCategory> subscription_categories;
  std::vector<Subscription> subscriptions;
  std::vector<NamedId> agenda_categories;
  std::vector<Service> agenda_services;
  std::vector<NamedId> ticket_categories;
  std::vector<Service> tickets;
  std::vector<NamedId> product_macros;
  std::vector<ProductCategory> product_categories;
  std::vector<Product> products;
  // Bar products of the category "KIT": sold now and then, and known to the ERP as articles
  // with a bill of materials (see kKitBills), all but one left without on purpose.
  std::vector<Product> kits;
};

std::vector<ReceiptKind> Deck(std::initializer_list<std::pair<ReceiptKind, int>> cards) {
  std::vector<ReceiptKind> deck;
  for (const auto& [kind, count] : cards)
    deck.insert(deck.end(), static_cast<std::size_t>(count), kind);
  return deck;
}

std::vector<Duration> Durations(int subscription, std::int64_t monthly) {
  return {{subscription * 10 + 1, 1, "M", monthly},
          {subscription * 10 + 3, 3, "M", monthly * 27 / 10},
          {subscription * 10 + 6, 12, "M", monthly * 9}};
}

// A city gym with a pool: its revenue centre codes are the ERP revenue accounts themselves
// (account type 1), its centre categories are mapped to accounts (account type 4). At a patch
// level above 514100, receipt rows carry their subscription period.
GymProfile Palestra() {
  GymProfile p;
  p.database = "Palestra";
  p.patch_level = 514230;
  p.first_user = 1001;
  p.deck = Deck({{ReceiptKind::kCustomer, 11},
                 {ReceiptKind::kWalkIn, 2},
                 {ReceiptKind::kInvoice, 1},
                 {ReceiptKind::kGrouped, 3},
                 {ReceiptKind::kNotTransferred, 1},
                 {ReceiptKind::kCancelled, 2}});
  p.companies = {{1, "Palestra Centro SSD", "01234567897", 70},
                 {2, "Piscina Nord SSD", "09876543217", 30}};
  p.centre_categories = {{1, "FITNESS", "Fitness"},
                         {2, "PISCINA", "Piscina"},
                         {3, "BAR", "Bar"},
                         {4, "BENESSERE", "Benessere"},
                         {5, "SERVIZI", "Servizi di segreteria"}};
  p.centres = {{1, 1, "5801001", "Sala fitness"},     {2, 3, "5801002", "Bar"},
               {3, 2, "5801003", "Piscina"},          {4, 1, "5801004", "Sala corsi"},
               {5, 4, "5801005", "Centro benessere"}, {6, 5, "5801006", "Segreteria"}};
  p.centre_of_area = {1, 3, 2, 4, 5, 6};
  p.bar_counter = 1;
  p.subscription_macros = {{1, "Fitness"}, {2, "Acqua"}, {3, "Corsi"}};
  p.subscription_categories = {{11, 1, "Open"},         {12, 1, "Mattina"}, {21, 2, "Nuoto libero"},
                               {22, 2, "Acquafitness"}, {31, 3, "Yoga"},    {32, 3, "Pilates"}};
  p.subscriptions = {{101, 11, "Fitness Open", Area::kFitness, Durations(101, 5500)},
                     {102, 12, "Fitness Mattina", Area::kFitness, Durations(102, 4000)},
                     {201, 21, "Nuoto Libero", Area::kPool, Durations(201, 4500)},
                     {202, 22, "Acquagym", Area::kPool, Durations(202, 5000)},
                     {301, 31, "Yoga", Area::kCourses, Durations(301, 6000)},
                     {302, 32, "Pilates Matwork", Area::kCourses, Durations(302, 6500)}};
  p.agenda_categories = {{1, "Personal training"}, {2, "Benessere"}};
  p.agenda_services = {{15, 1, "Personal trainer 60 minuti", 4000, Area::kFitness},
                       {16, 1, "Personal trainer 30 minuti", 2500, Area::kFitness},
                       {21, 2, "Massaggio sportivo", 5000, Area::kWellness},
                       {22, 2, "Sauna e bagno turco", 1500, Area::kWellness}};
  p.ticket_categories = {{1, "Ingressi"}, {2, "Carnet"}};
  p.tickets = {{9, 1, "Ingresso singolo piscina", 800, Area::kPool},
               {10, 1, "Ingresso giornaliero sala", 1000, Area::kFitness},
               {11, 2, "Carnet 10 ingressi piscina", 7000, Area::kPool}};
  p.product_macros = {{7, "Bar"}, {8, "Shop"}};
  p.product_categories = {{42, 7, "Bevande", Vat::k10},
                          {43, 7, "Snack", Vat::k10},
                          {44, 8, "Integratori", Vat::k22},
                          {45, 8, "Abbigliamento", Vat::k22},
                          {46, 8, "Riviste", Vat::k4}};
  p.products = {{1, 42, "ACQUA05", "Acqua naturale 50cl", 100},
                {2, 42, "COCA33", "Coca Cola 33cl", 250},
                {3, 42, "CAFFE", "Caffe espresso", 120},
                {4, 42, "SPREMUTA", "Spremuta d'arancia", 350},
                {5, 43, "BARRETTA", "Barretta proteica", 300},
                {6, 43, "MUESLI", "Barretta ai cereali", 180},
                {7, 44, "WHEY500", "Proteine whey 500g", 2990},
                {8, 44, "SALI", "Sali minerali", 450},
                {9, 45, "CUFFIA", "Cuffia piscina", 900},
                {10, 45, "ASCIUGAM", "Asciugamano palestra", 1500},
                {11, 46, "RIVISTA", "Rivista fitness", 490}};
  p.product_categories.push_back({47, 8, "KIT", Vat::k22});
  p.kits = {{12, 47, "KITBENV", "Kit benvenuto", 2500},
            {13, 47, "KITNUOTO", "Kit nuoto", 1900},
            {14, 47, "KITSAUNA", "Kit sauna", 1200}};
  return p;
}

// A seaside centre behind a linked server: its revenue centres are mapped to accounts (account
// type 3), its centre category codes are the accounts (account type 2). Below patch level 514100
// the subscription period comes from the enrolment only. It issues no grouped receipts.
GymProfile Mare() {
  GymProfile p;
  p.database = "Mare";
  p.patch_level = 513800;
  p.first_user = 500001;
  p.deck = Deck({{ReceiptKind::kCustomer, 14},
                 {ReceiptKind::kWalkIn, 2},
                 {ReceiptKind::kInvoice, 2},
                 {ReceiptKind::kNotTransferred, 1},
                 {ReceiptKind::kCancelled, 1}});
  p.companies = {{1, "Centro Mare SSD", "02345678903", 60},
                 {2, "Mare Wellness Srl", "03456789018", 40}};
  p.centre_categories = {{1, "5802001", "Fitness"},
                         {2, "5802002", "Bar"},
                         {3, "5802003", "Spiaggia e piscina"},
                         {4, "5802004", "Benessere"},
                         {5, "5802005", "Servizi"}};
  p.centres = {{11, 1, "FITNESS", "Palestra estiva"}, {12, 2, "BAR", "Chiosco bar"},
               {13, 3, "PISCINA", "Piscina"},         {14, 3, "SPIAGGIA", "Spiaggia"},
               {15, 4, "BENESSERE", "Benessere"},     {16, 5, "SEGRETERIA", "Reception"}};
  p.centre_of_area = {11, 13, 12, 14, 15, 16};
  p.bar_counter = 3;
  p.subscription_macros = {{4, "Mare"}, {5, "Fitness estate"}};
  p.subscription_categories = {{41, 4, "Spiaggia"}, {42, 4, "Nuoto in mare"}, {51, 5, "Open"}};
  p.subscriptions = {{401,
                      41,
                      "Ombrellone stagionale",
                      Area::kCourses,
                      {{4011, 1, "M", 18000}, {4012, 2, "M", 32000}, {4013, 2, "S", 9000}}},
                     {402, 42, "Nuoto in mare", Area::kPool, Durations(402, 4000)},
                     {501, 51, "Fitness Estate", Area::kFitness, Durations(501, 5000)}};
  p.agenda_categories = {{3, "Benessere"}, {4, "Sport in spiaggia"}};
  p.agenda_services = {{31, 3, "Massaggio rilassante", 5500, Area::kWellness},
                       {32, 3, "Trattamento viso", 4500, Area::kWellness},
                       {41, 4, "Lezione di windsurf", 3500, Area::kCourses}};
  p.ticket_categories = {{3, "Ingressi spiaggia"}};
  p.tickets = {{21, 3, "Ingresso giornaliero lido", 1200, Area::kCourses},
               {22, 3, "Ingresso piscina", 900, Area::kPool}};
  p.product_macros = {{9, "Chiosco"}};
  p.product_categories = {
      {61, 9, "Bibite", Vat::k10}, {62, 9, "Gelati", Vat::k10}, {63, 9, "Articoli mare", Vat::k22}};
  p.products = {{21, 61, "ACQUA05", "Acqua naturale 50cl", 120},
                {22, 61, "TE", "Te freddo", 250},
                {23, 62, "GELATO", "Gelato confezionato", 200},
                {24, 62, "GRANITA", "Granita al limone", 300},
                {25, 63, "CREMA", "Crema solare", 1200},
                {26, 63, "TELO", "Telo mare", 1800}};
  p.product_categories.push_back({64, 9, "KIT", Vat::k22});
  p.kits = {{27, 64, "KITMARE", "Kit spiaggia", 2900}};
  return p;
}

struct User {
  std::int64_t id = 0;
  std::int64_t member = 0;  // IdSocio; 0 for a user who is not a member
  std::string surname;
  std::string name;
  bool female = false;
  std::string tax_code;
  std::string vat_number;
  std::string street;
  std::string civic;
  const Town* town = nullptr;
  const Town* birth_town = nullptr;
  Day birth;
  bool lower_province = false;
  std::string phone1;
  std::string phone2;
  DateTime created;
  std::optional<DateTime> modified;

  std::string FullName() const { return surname + " " + name; }
  std::string Address() const { return street + ", " + civic; }
  std::string TownLine() const {
    return fmt::format("{} {} {}", town->postal_code, town->name, town->province);
  }
};

std::string Digits(Random& random, int count) {
  std::string digits;
  for (int i = 0; i < count; ++i) digits += static_cast<char>('0' + random.Below(10));
  return digits;
}

User MakeUser(Random& random, const Lists& lists, std::int64_t id, std::int64_t member) {
  User u;
  u.id = id;
  u.member = member;
  u.surname = random.Pick(lists.surnames);
  const FirstName& first = random.Pick(lists.names);
  u.name = first.name;
  u.female = first.female;
  u.town = &lists.towns[random.Below(lists.towns.size())];
  u.birth_town = random.Percent(60) ? u.town : &lists.towns[random.Below(lists.towns.size())];
  std::chrono::year_month_day birth{
      std::chrono::year{static_cast<int>(random.Between(1955, 2012))},
      std::chrono::month{static_cast<unsigned>(random.Between(1, 12))},
      std::chrono::day{static_cast<unsigned>(random.Between(1, 28))}};
  u.birth = Day(birth);
  u.tax_code = CodiceFiscale(u.surname, u.name, static_cast<int>(birth.year()),
                             static_cast<unsigned>(birth.month()),
                             static_cast<unsigned>(birth.day()), u.female, u.birth_town->code);
  if (random.Percent(4)) {
    std::string first10 = Digits(random, 7) + fmt::format("{:03}", random.Between(1, 100));
    u.vat_number = first10 + PartitaIvaCheck(first10);
  }
  u.street = random.Pick(lists.streets);
  u.civic = std::to_string(random.Between(1, 180));
  if (random.Percent(8)) u.civic += "/A";
  u.lower_province = random.Percent(10);
  if (random.Percent(85)) u.phone1 = "3" + Digits(random, 9);
  if (random.Percent(20)) u.phone2 = "0" + Digits(random, 8);
  Day created = Day(std::chrono::year_month_day{std::chrono::year{kYear - 1}, std::chrono::January,
                                                std::chrono::day{1}}) -
                std::chrono::days(random.Between(0, 2500));
  u.created = At(created, static_cast<int>(random.Between(8, 20)));
  if (random.Percent(40)) u.modified = u.created + std::chrono::days(random.Between(1, 300));
  return u;
}

// The rows of one gym database, written receipt by receipt.
class GymWriter {
 public:
  GymWriter(SqliteDatabase& db, const GymProfile& profile, const Lists& lists, std::uint64_t seed)
      : db_(db),
        p_(profile),
        lists_(lists),
        random_(seed),
        users_w_(db, "Utenti"),
        receipts_w_(db, "RicevuteTestata"),
        // The row description is varchar(max), which the embedded backend's writable recordsets
        // take for a varchar(1): these rows go as INSERT statements.
        rows_w_(db, "RicevuteRiga", RowWriter::Route::kStatement),
        movements_w_(db, "CassaMovimenti"),
        enrolments_w_(db, "AbbonamentiIscrizione"),
        appointments_w_(db, "A2Appuntamenti"),
        agenda_w_(db, "A2Iscrizioni"),
        issued_w_(db, "TicketEmessi"),
        centre_movements_w_(db, "CentriRicavoMovimenti"),
        bar_w_(db, "BarMovimenti") {}

  void WriteSettingsAndCatalogues();
  void WriteUsers(std::int64_t count);
  void WriteReceipts(std::int64_t count, const std::function<void(std::int64_t)>& done);
  const std::vector<User>& users() const { return users_; }

 private:
  struct Sale {
    std::string service_type;
    std::string description;
    std::int64_t price = 0;
    std::int64_t quantity = 1;
    bool quantity_null = false;
    Vat vat = Vat::k22;
    std::optional<int> centre;
    std::optional<std::int64_t> service;
    std::optional<std::int64_t> enrolment;
    std::optional<Day> from;  // the subscription period
    std::optional<Day> to;
    // Detail rows that need the till movement's id.
    std::optional<std::int64_t> ticket_issued;
  };

  void FlushAll();
  void Commit();
  int CompanyOf();
  const User* CustomerFor(ReceiptKind kind);
  Sale SubscriptionSale(const User* user, Day day);
  Sale AgendaSale(const User* user, Day day);
  Sale TicketSale(Day day);
  Sale BarSale();
  Sale FixedSale(const char* service_type);
  std::vector<Sale> SalesFor(ReceiptKind kind, const User* user, Day day, bool last);
  void WriteReceipt(ReceiptKind kind, Day day, bool last);

  SqliteDatabase& db_;
  const GymProfile& p_;
  const Lists& lists_;
  Random random_;
  std::vector<User> users_;
  std::vector<const User*> vat_users_;  // users with a VAT number, for invoices
  std::vector<ReceiptKind> deck_;
  std::size_t deck_next_ = 0;
  std::map<int, std::int64_t> receipt_numbers_;  // per gym company
  std::int64_t receipt_id_ = 0, row_id_ = 0, movement_id_ = 0, enrolment_id_ = 0;
  std::int64_t appointment_id_ = 0, agenda_id_ = 0, issued_id_ = 0, centre_movement_id_ = 0;
  std::int64_t bar_total_id_ = 0, bar_movement_id_ = 0;
  RowWriter users_w_, receipts_w_, rows_w_, movements_w_, enrolments_w_, appointments_w_, agenda_w_,
      issued_w_, centre_movements_w_, bar_w_;
};

void GymWriter::WriteSettingsAndCatalogues() {
  Database& db = db_;
  Insert(db, "IMPOSTAZIONI",
         {{"DESCRIZIONE", "ULTIMOPATCH"}, {"VALORE", std::to_string(p_.patch_level)}});
  Insert(db, "IMPOSTAZIONI", {{"DESCRIZIONE", "VERSIONE"}, {"VALORE", "5.14.2"}});
  for (const GymCompany& c : p_.companies) {
    Insert(db, "RicevuteAziende",
           {{"IDRicevuteAzienda", c.id},
            {"Descrizione", c.description},
            {"PartitaIva", c.vat_number}});
  }
  const std::pair<int, const char*> payments[] = {
      {1, "CONTANTI"}, {2, "BANCOMAT"}, {3, "CARTA DI CREDITO"}, {4, "BONIFICO"}, {5, "SATISPAY"}};
  for (const auto& [id, description] : payments) {
    Insert(db, "CassaTipiPagamenti", {{"IDTipoPagamento", id}, {"Descrizione", description}});
  }
  for (const CentreCategory& c : p_.centre_categories) {
    Insert(db, "CentriRicavoCategorie",
           {{"IDCentroCategoria", c.id}, {"Codice", c.code}, {"Descrizione", c.description}});
  }
  for (const Centre& c : p_.centres) {
    Insert(db, "CentriRicavo",
           {{"IDCentro", c.id},
            {"IDCentroCategoria", c.category},
            {"Codice", c.code},
            {"Descrizione", c.description}});
  }
  Insert(db, "BE",
         {{"IDBE", p_.bar_counter},
          {"IDCentro", p_.centre_of_area[static_cast<std::size_t>(Area::kBar)]},
          {"Descrizione", "Bancone bar"}});
  int vat_id = 0;
  for (Vat v : {Vat::k22, Vat::k10, Vat::k4, Vat::kExempt}) {
    const VatDef& d = VatOf(v);
    Insert(db, "RicevuteIva",
           {{"IDRicevuteIva", ++vat_id},
            {"Iva", Money(d.rate * 100)},
            {"Descrizione", d.description},
            {"CodiceIva", d.code}});
  }
  for (const NamedId& m : p_.subscription_macros) {
    Insert(db, "AbbonamentiMacroCategorie",
           {{"IDMacroCategoria", m.id}, {"Descrizione", m.description}});
  }
  for (const SubscriptionCategory& c : p_.subscription_categories) {
    Insert(db, "AbbonamentiCategorie",
           {{"IDCategoria", c.id}, {"IDMacroCategoria", c.macro}, {"Descrizione", c.description}});
  }
  for (const Subscription& s : p_.subscriptions) {
    Insert(db, "Abbonamenti",
           {{"IDAbbonamento", s.id}, {"IDCategoria", s.category}, {"Descrizione", s.description}});
    for (const Duration& d : s.durations) {
      Insert(db, "AbbonamentiDurata",
             {{"IDDurata", d.id},
              {"IDAbbonamento", s.id},
              {"Durata", d.length},
              {"Periodo", d.period}});
    }
  }
  for (const NamedId& c : p_.agenda_categories) {
    Insert(db, "A2ServiziCategorie",
           {{"IDA2ServiziCategoria", c.id}, {"Descrizione", c.description}});
  }
  for (const Service& s : p_.agenda_services) {
    Insert(db, "A2Servizi",
           {{"IDA2Servizio", s.id},
            {"IDA2ServiziCategoria", s.category},
            {"DescrizioneServizio", s.description}});
    // One commitment per service: the agenda's weekly slot where it is booked.
    Insert(db, "A2Impegni", {{"IDA2Impegno", s.id * 10}, {"IDA2Servizio", s.id}});
  }
  for (const NamedId& c : p_.ticket_categories) {
    Insert(db, "TicketCategorie", {{"IDTicketCategoria", c.id}, {"Descrizione", c.description}});
  }
  for (const Service& t : p_.tickets) {
    Insert(db, "Ticket",
           {{"IDTicket", t.id}, {"IDTicketCategoria", t.category}, {"Descrizione", t.description}});
  }
  for (const NamedId& m : p_.product_macros) {
    Insert(db, "BarMacroCategorieProdotti",
           {{"IDMacroCategoriaProdotto", m.id}, {"Descrizione", m.description}});
  }
  for (const ProductCategory& c : p_.product_categories) {
    Insert(db, "BarProdottiCategoria",
           {{"IDProdottoCategoria", c.id},
            {"IDMacroCategoriaProdotto", c.macro},
            {"Descrizione", c.description}});
  }
  std::vector<Product> products = p_.products;
  products.insert(products.end(), p_.kits.begin(), p_.kits.end());
  for (const Product& pr : products) {
    Insert(db, "BarProdotti",
           {{"IDProdotto", pr.id},
            {"IDProdottoCategoria", pr.category},
            {"Codice", pr.code},
            {"Descrizione", pr.description},
            {"Prezzo", Money(pr.price)}});
  }
}

void GymWriter::WriteUsers(std::int64_t count) {
  std::int64_t members = 0;
  users_.reserve(static_cast<std::size_t>(count));
  for (std::int64_t i = 0; i < count; ++i) {
    std::int64_t member = random_.Percent(60) ? ++members : 0;
    users_.push_back(MakeUser(random_, lists_, p_.first_user + i, member));
  }
  for (const User& u : users_) {
    if (!u.vat_number.empty()) vat_users_.push_back(&u);
    std::string province = u.lower_province ? TitleCase(u.town->province) : u.town->province;
    users_w_.Add({{"IDUtente", u.id},
                  {"IdSocio", u.member != 0 ? Value(u.member) : Value(Null{})},
                  {"Cognome", u.surname},
                  {"Nome", u.name},
                  {"CodiceFiscale", u.tax_code},
                  {"PIVA", TextOrNull(u.vat_number)},
                  {"Indirizzo_Via", u.street},
                  {"Indirizzo_NumeroCivico", u.civic},
                  {"Indirizzo_Cap", u.town->postal_code},
                  {"Indirizzo_Citta", TitleCase(u.town->name)},
                  {"Indirizzo_Pv", province},
                  {"Luogo_Nascita", TitleCase(u.birth_town->name)},
                  {"Data_Nascita", DateTime(u.birth)},
                  {"Provincia_Nascita", u.birth_town->province},
                  {"Sesso", u.female ? "F" : "M"},
                  {"Telefono_1", TextOrNull(u.phone1)},
                  {"Telefono_2", TextOrNull(u.phone2)},
                  {"DataCreazione", u.created},
                  {"DataModifica", u.modified ? Value(*u.modified) : Value(Null{})}});
  }
  users_w_.Flush();
}

int GymWriter::CompanyOf() {
  auto draw = static_cast<int>(random_.Below(100));
  for (const GymCompany& c : p_.companies) {
    if (draw < c.share) return c.id;
    draw -= c.share;
  }
  return p_.companies.back().id;
}

const User* GymWriter::CustomerFor(ReceiptKind kind) {
  switch (kind) {
    case ReceiptKind::kWalkIn:
    case ReceiptKind::kGrouped:
      return nullptr;
    case ReceiptKind::kInvoice:
      // Invoices go mostly to users with a VAT number.
      if (!vat_users_.empty() && random_.Percent(70)) return random_.Pick(vat_users_);
      return &users_[random_.Below(users_.size())];
    case ReceiptKind::kCustomer:
    case ReceiptKind::kNotTransferred:
    case ReceiptKind::kCancelled:
      return &users_[random_.Below(users_.size())];
  }
  return nullptr;
}

GymWriter::Sale GymWriter::SubscriptionSale(const User* user, Day day) {
  const Subscription& s = random_.Pick(p_.subscriptions);
  const Duration& d = random_.Pick(s.durations);
  Sale sale;
  sale.service_type = kTypeSubscription;
  std::string unit = d.period == "S" ? (d.length == 1 ? "settimana" : "settimane")
                                     : (d.length == 1 ? "mese" : "mesi");
  sale.description = fmt::format("Abbonamento {} {} {}", s.description, d.length, unit);
  sale.price = d.price;
  sale.vat = Vat::k22;
  sale.centre = p_.centre_of_area[static_cast<std::size_t>(s.area)];
  sale.service = s.id;
  // Most subscriptions start on the day they are paid, some on the first of next month.
  Day from = day;
  if (random_.Percent(30)) {
    std::chrono::year_month_day ymd{day};
    from = AddMonths(Day(ymd.year() / ymd.month() / 1), 1);
  }
  Day to = d.period == "S" ? from + std::chrono::days(7 * d.length - 1)
                           : AddMonths(from, d.length) - std::chrono::days(1);
  sale.enrolment = ++enrolment_id_;
  enrolments_w_.Add({{"IDIscrizione", *sale.enrolment},
                     {"IDUtente", user != nullptr ? Value(user->id) : Value(Null{})},
                     {"IDDurata", d.id},
                     {"DataInizio", DateTime(from)},
                     {"DataFine", DateTime(to)}});
  if (p_.patch_level >= 514100) {
    sale.from = from;
    sale.to = to;
  }
  return sale;
}

GymWriter::Sale GymWriter::AgendaSale(const User* user, Day day) {
  const Service& s = random_.Pick(p_.agenda_services);
  Sale sale;
  sale.service_type = kTypeAgenda;
  sale.description = s.description;
  sale.price = s.price;
  sale.vat = Vat::k22;
  sale.centre = p_.centre_of_area[static_cast<std::size_t>(s.area)];
  sale.service = s.id;
  std::int64_t appointment = ++appointment_id_;
  appointments_w_.Add({{"IDA2Appuntamento", appointment},
                       {"IDA2Impegno", s.id * 10},
                       {"DataOra", At(day + std::chrono::days(random_.Between(0, 10)),
                                      static_cast<int>(random_.Between(8, 20)))}});
  sale.enrolment = ++agenda_id_;
  agenda_w_.Add({{"IDA2Iscrizione", *sale.enrolment},
                 {"IDA2Appuntamento", appointment},
                 {"IDUtente", user != nullptr ? Value(user->id) : Value(Null{})}});
  return sale;
}

GymWriter::Sale GymWriter::TicketSale(Day day) {
  const Service& t = random_.Pick(p_.tickets);
  Sale sale;
  sale.service_type = kTypeTicket;
  sale.description = t.description;
  sale.price = t.price;
  sale.vat = Vat::k22;
  sale.centre = p_.centre_of_area[static_cast<std::size_t>(t.area)];
  sale.service = t.id;
  if (random_.Percent(15)) sale.quantity = random_.Between(2, 4);
  sale.ticket_issued = ++issued_id_;
  issued_w_.Add({{"ID", *sale.ticket_issued},
                 {"IDTicket", t.id},
                 {"DataEmissione", At(day, static_cast<int>(random_.Between(8, 20)))}});
  return sale;
}

GymWriter::Sale GymWriter::BarSale() {
  bool kit = !p_.kits.empty() && random_.Percent(kKitPercent);
  const Product& pr = random_.Pick(kit ? p_.kits : p_.products);
  Sale sale;
  sale.service_type = kTypeBar;
  sale.description = pr.description;
  sale.price = pr.price;
  sale.quantity = static_cast<std::int64_t>(random_.Weighted({70, 20, 10})) + 1;
  for (const ProductCategory& c : p_.product_categories) {
    if (c.id == pr.category) sale.vat = c.vat;
  }
  // The revenue centre of a bar sale is the bar counter's, not the row's.
  sale.service = p_.bar_counter;
  sale.enrolment = ++bar_total_id_;
  bar_w_.Add({{"IDBarMovimento", ++bar_movement_id_},
              {"IDBarTotale", *sale.enrolment},
              {"IDProdotto", pr.id},
              {"Quantita", Quantity(sale.quantity)}});
  return sale;
}

GymWriter::Sale GymWriter::FixedSale(const char* service_type) {
  const FixedService& f = Fixed(service_type);
  Sale sale;
  sale.service_type = f.service_type;
  sale.description = f.description;
  sale.price = f.price;
  if (sale.service_type == kTypePurse) sale.price = random_.Percent(50) ? 2000 : 5000;
  sale.vat = f.vat;
  sale.centre = p_.centre_of_area[static_cast<std::size_t>(f.area)];
  // Now and then the till leaves the quantity out (it counts as one).
  sale.quantity_null = random_.Percent(3);
  return sale;
}

std::vector<GymWriter::Sale> GymWriter::SalesFor(ReceiptKind kind, const User* user, Day day,
                                                 bool last) {
  std::vector<Sale> sales;
  if (kind == ReceiptKind::kGrouped || kind == ReceiptKind::kWalkIn) {
    auto count = static_cast<int>(random_.Weighted({45, 30, 15, 10}) + 1);
    for (int i = 0; i < count; ++i) {
      std::size_t what = kind == ReceiptKind::kGrouped ? random_.Weighted({80, 20, 0})
                                                       : random_.Weighted({60, 30, 10});
      if (what == 0) {
        sales.push_back(BarSale());
      } else if (what == 1) {
        sales.push_back(TicketSale(day));
      } else {
        sales.push_back(FixedSale(kTypeBooking));
      }
    }
    return sales;
  }
  bool member = user != nullptr && user->member != 0;
  auto count = static_cast<int>(random_.Weighted({35, 25, 15, 10, 6, 4, 3, 2}) + 1);
  bool fee = false;
  // The last receipt of the period always sells a subscription: it closes the run's dates.
  if (last) sales.push_back(SubscriptionSale(user, day));
  while (static_cast<int>(sales.size()) < count) {
    switch (random_.Weighted({22, 10, 18, 8, 6, 10, 4, 5, 3, 4, 3})) {
      case 0:
        sales.push_back(SubscriptionSale(user, day));
        break;
      case 1:
        sales.push_back(TicketSale(day));
        break;
      case 2:
        sales.push_back(BarSale());
        break;
      case 3:
        // The member fee is paid by members, once per receipt.
        if (member && !fee) {
          sales.push_back(FixedSale(kTypeFee));
          fee = true;
        }
        break;
      case 4:
        sales.push_back(FixedSale(kTypeBooking));
        break;
      case 5:
        sales.push_back(AgendaSale(user, day));
        break;
      case 6:
        sales.push_back(FixedSale(kTypePurse));
        break;
      case 7:
        sales.push_back(FixedSale(kTypeSwimming));
        break;
      case 8:
        sales.push_back(FixedSale(kTypeDeposit));
        break;
      case 9:
        sales.push_back(FixedSale(kTypeMedical));
        break;
      default:
        sales.push_back(FixedSale(kTypeManual));
        break;
    }
  }
  if (kind == ReceiptKind::kInvoice) {
    // Invoices above 77,47 euro carry the stamp duty.
    std::int64_t total = 0;
    for (const Sale& s : sales) total += s.price * s.quantity;
    if (total > 7747) sales.push_back(FixedSale(kTypeStamp));
  }
  return sales;
}

void GymWriter::WriteReceipt(ReceiptKind kind, Day day, bool last) {
  int company = CompanyOf();
  const User* user = CustomerFor(kind);
  std::vector<Sale> sales = SalesFor(kind, user, day, last);
  std::int64_t receipt = ++receipt_id_;
  std::int64_t number = ++receipt_numbers_[company];
  int hour = static_cast<int>(random_.Between(7, 21));
  int minute = static_cast<int>(random_.Between(0, 59));
  // One payment type per receipt, as the till takes it.
  auto payment = static_cast<int>(random_.Weighted({45, 25, 20, 5, 5}) + 1);
  if (kind == ReceiptKind::kInvoice && random_.Percent(50)) payment = 4;

  std::int64_t total = 0;
  for (Sale& s : sales) {
    std::int64_t row = ++row_id_;
    std::int64_t movement = ++movement_id_;
    std::int64_t amount = s.price * s.quantity;
    total += amount;
    const VatDef& vat = VatOf(s.vat);
    bool bar = s.service_type == kTypeBar;
    rows_w_.Add({{"IDRicevuteRiga", row},
                 {"IDRicevuta", receipt},
                 {"IDCassaMovimento", movement},
                 {"IDCentroRicavo", !bar && s.centre ? Value(*s.centre) : Value(Null{})},
                 {"Descrizione", s.description},
                 {"Qta", s.quantity_null ? Value(Null{}) : Quantity(s.quantity)},
                 {"PrezzoUnitario", Money(s.price)},
                 {"Iva", Money(vat.rate * 100)},
                 {"IvaDescrizione", vat.description},
                 {"DataInizioOrigine", s.from ? Value(DateTime(*s.from)) : Value(Null{})},
                 {"DataFineOrigine", s.to ? Value(DateTime(*s.to)) : Value(Null{})}});
    movements_w_.Add({{"IDCassaMovimento", movement},
                      {"IDRicevutaAzienda", company},
                      {"IDRicevuteRiga", row},
                      {"DataMovimento", At(day, hour, minute)},
                      {"TipoServizio", s.service_type},
                      {"IDServizio", s.service ? Value(*s.service) : Value(Null{})},
                      {"IDIscrizione", s.enrolment ? Value(*s.enrolment) : Value(Null{})},
                      // A few movements lose their payment type at the till.
                      {"IDTipoPagamento", random_.Percent(3) ? Value(Null{}) : Value(payment)},
                      {"Importo", Money(amount)}});
    if (s.ticket_issued) {
      centre_movements_w_.Add({{"IDCentroRicavoMovimento", ++centre_movement_id_},
                               {"IDCassaMovimento", movement},
                               {"IDTicketEmessi", *s.ticket_issued}});
    }
  }

  const char* type = "R";
  switch (kind) {
    case ReceiptKind::kInvoice:
      type = "F";
      break;
    case ReceiptKind::kGrouped:
      type = "S";
      break;
    case ReceiptKind::kNotTransferred:
      type = "P";
      break;
    case ReceiptKind::kCustomer:
    case ReceiptKind::kWalkIn:
    case ReceiptKind::kCancelled:
      break;
  }
  Value walk_in = kind == ReceiptKind::kWalkIn ? Value("Cliente al banco") : Value(Null{});
  receipts_w_.Add({{"IDRicevuta", receipt},
                   {"IDRicevuteAzienda", company},
                   {"TipoRicevuta", type},
                   {"NumeroRicevuta", number},
                   {"DataRicevuta", DateTime(day)},
                   {"Annullata", kind == ReceiptKind::kCancelled ? -1 : 0},
                   {"IDUtente", user != nullptr ? Value(user->id) : Value(Null{})},
                   {"Cliente", user != nullptr ? Value(user->FullName()) : walk_in},
                   {"PIVA", user != nullptr ? TextOrNull(user->vat_number) : Value(Null{})},
                   {"Indirizzo_1", user != nullptr ? Value(user->Address()) : Value(Null{})},
                   {"Indirizzo_2", user != nullptr ? Value(user->TownLine()) : Value(Null{})},
                   {"Totale", Money(total)}});
}

void GymWriter::FlushAll() {
  for (RowWriter* w : {&users_w_, &receipts_w_, &rows_w_, &movements_w_, &enrolments_w_,
                       &appointments_w_, &agenda_w_, &issued_w_, &centre_movements_w_, &bar_w_}) {
    w->Flush();
  }
}

void GymWriter::Commit() {
  FlushAll();
  db_.ExecuteNative("COMMIT");
  db_.ExecuteNative("BEGIN");
}

void GymWriter::WriteReceipts(std::int64_t count, const std::function<void(std::int64_t)>& done) {
  std::vector<Day> days;
  for (Day d = Day(kFirstDay); d <= Day(kLastDay); d += std::chrono::days(1)) {
    if (std::chrono::weekday(d) != std::chrono::Sunday) days.push_back(d);
  }
  deck_ = p_.deck;
  deck_next_ = deck_.size();
  for (std::int64_t i = 0; i < count; ++i) {
    // Receipts follow one another through the period; the last one falls on its last day.
    std::size_t day = count == 1
                          ? days.size() - 1
                          : static_cast<std::size_t>(
                                i * static_cast<std::int64_t>(days.size() - 1) / (count - 1));
    if (deck_next_ == deck_.size()) {
      random_.Shuffle(deck_);
      deck_next_ = 0;
    }
    ReceiptKind kind = deck_[deck_next_++];
    bool last = i == count - 1;
    if (last) kind = ReceiptKind::kCustomer;
    WriteReceipt(kind, days[day], last);
    if ((i + 1) % kReceiptsPerCommit == 0) {
      Commit();
      if (done) done(i + 1);
    }
  }
  FlushAll();
  if (done) done(count);
}

// --- The ERP ---------------------------------------------------------------------------------

// The ERP's master record of a gym user, as an earlier import would have left it.
void WriteCustomer(Database& db, std::int64_t master, std::int64_t code, const User& u) {
  bool person = u.vat_number.empty();
  std::string name = Upper(u.FullName()).substr(0, 40);
  Value town_code = u.town->in_erp ? Value(u.town->code) : Value(Null{});
  DateTime changed = u.modified ? *u.modified : u.created;
  Insert(db, "CG16_ANAGGEN",
         {{"CG16_CODICE", master},
          {"CG16_RAGSOANAG", name},
          {"CG16_ALIAS", std::to_string(u.id)},
          {"CG16_INDIRIZZO", (u.street + "," + u.civic).substr(0, 40)},
          {"CG16_COMANA_CG01", town_code},
          {"CG16_CAP", u.town->postal_code},
          {"CG16_PROV", u.town->province},
          {"CG16_CITTA", u.town->name},
          {"CG16_CODICE_CG07", "86"},
          {"CG16_FLGPRSFIS", person ? 1 : 0},
          {"CG16_RAGSOFISC", name},
          {"CG16_COMFIS_CG01", town_code},
          {"CG16_CAPFISC", u.town->postal_code},
          {"CG16_CITTAFISC", u.town->name},
          {"CG16_PROVFISC", u.town->province},
          {"CG16_COGNOME", person ? Value(Upper(u.surname)) : Value(Null{})},
          {"CG16_NOME", person ? Value(Upper(u.name)) : Value(Null{})},
          {"CG16_COMNASCITA", person ? Value(u.birth_town->name) : Value(Null{})},
          {"CG16_DATANASCITA", person ? Value(DateTime(u.birth)) : Value(Null{})},
          {"CG16_PROVNASCITA", person ? Value(u.birth_town->province) : Value(Null{})},
          {"CG16_CODFISCALE", u.tax_code},
          {"CG16_PARTIVA", TextOrNull(u.vat_number)},
          {"CG16_SESSO", u.female ? 1 : 0},
          {"CG16_TEL1NUM", TextOrNull(u.phone1)},
          {"CG16_TEL2NUM", TextOrNull(u.phone2)},
          {"CG16_LASTCHANGE", changed},
          {"CG16_FLGOMONIMO", 0},
          {"CG16_INDSOGGRIT", 0},
          {"CG16_FLGANAGVAL", 1},
          {"CG16_INDAGGCF", 0}});
  Insert(db, "CG44_CLIFOR",
         {{"CG44_DITTA_CG18", kCompany},
          {"CG44_TIPOCF", 0},
          {"CG44_CLIFOR", code},
          {"CG44_CODICE_CG16", master},
          {"CG44_GRUPPO_CG10", "1"},
          {"CG44_CODPAG_CG62", "RD"},
          {"CG44_LASTCHANGE", changed}});
  RowWriter mg19(db, "MG19_CLIFORVA");
  mg19.Add({{"MG19_DITTA_CG18", kCompany},
            {"MG19_TIPOCF_CG44", 0},
            {"MG19_CLIFOR_CG44", code},
            {"MG19_DATACREAZ", changed},
            {"MG19_DATAULTVAR", changed},
            {"MG19_LISTMAG", 1}});
  // Every other sales setting of a new customer is zero.
  for (const char* column :
       {"MG19_INDCLIFAT",  "MG19_FLGDATICLFAT", "MG19_TIPOCLXDOC",  "MG19_INDDESDOCEST",
        "MG19_SC1PERCOR",  "MG19_SC2PERCOR",    "MG19_SC3PERCOR",   "MG19_SCIMPCOR",
        "MG19_MAGPERCOR",  "MG19_MAGIMPCOR",    "MG19_SCPERPIEDE",  "MG19_FLGSPEINC",
        "MG19_FLGSPBOL",   "MG19_INDSPESECUM",  "MG19_SCAGLSPBANC", "MG19_FLGESCLSPEPOR",
        "MG19_INDCLIBLOC", "MG19_INDTESTOF1",   "MG19_INDTESTOF2",  "MG19_FLGPRZCAMP",
        "MG19_INDARRL96",  "MG19_INDARRINFAT",  "MG19_INDGESFIDO"}) {
    mg19.Set(column, 0);
  }
  mg19.Flush();
}

void WriteErpSettings(Database& db, const Lists& lists) {
  const std::pair<int, std::pair<const char*, const char*>> settings[] = {
      {0, {"NOME_SERVER", "EMBEDDED"}},       {0, {"UTENTE", "demo"}},
      {kCompany, {"CODIVA_DEFAULT", "22"}},   {kCompany, {"CODIVA_ARTICOLI", "22"}},
      {kCompany, {"GRUPPO_CLIENTI", "1"}},    {kCompany, {"CONTO_CONTROPARTITA", "1899999"}},
      {kCompany, {"GRUPPO_PDC", "1"}},        {kCompany, {"GERARCHIA_CLASSI", "0"}},
      {kCompany, {"PIANO_ANALITICO", "1"}},   {kCompany, {"LISTINO", "1"}},
      {kCompany, {"DEPOSITO_DEFAULT", "00"}}, {kCompany, {"CONTESTO_PROGRESSIVI", "VT"}}};
  for (const auto& [company, kv] : settings) {
    Insert(db, "HOST_SETTINGS",
           {{"HOST_DITTA", company}, {"HOST_CHIAVE", kv.first}, {"HOST_VALORE", kv.second}});
  }

  Insert(db, "CG08_TABVALUTE",
         {{"CG08_CODICE", "EURO"}, {"CG08_DESCR", "Euro"}, {"CG08_NUMDEC", 2}});
  Insert(db, "MG49_PARMAGAZDEC",
         {{"MG49_DITTA_CG18", kCompany}, {"MG49_CODICE_CG08", "EURO"}, {"MG49_NUMDEC", 2}});
  Insert(db, "MG44_PARMAGLIST",
         {{"MG44_DITTA_CG18", kCompany},
          {"MG44_NUMLIST", 1},
          {"MG44_DESCR", "LISTINO VENDITA"},
          {"MG44_FLGVENACQ", 0}});
  Insert(db, "MG44_PARMAGLIST",
         {{"MG44_DITTA_CG18", kCompany},
          {"MG44_NUMLIST", 2},
          {"MG44_DESCR", "LISTINO ACQUISTO"},
          {"MG44_FLGVENACQ", 1}});

  struct DocumentType {
    const char* code;
    const char* description;
    int kind;
    int footer_defaults;
    const char* section;
  };
  const DocumentType documents[] = {{"FTC", "RICEVUTA FISCALE", 1, 1, "A"},
                                    {"FTV", "FATTURA DI VENDITA", 1, 0, "F"},
                                    {"CRP", "CORRISPETTIVI GIORNALIERI", 1, 0, "C"},
                                    {"NCC", "NOTA DI CREDITO", 6, 0, "N"}};
  for (const DocumentType& d : documents) {
    Insert(db, "MG36_DOCUMENTI",
           {{"MG36_CODDOCUM", d.code},
            {"MG36_DESCR", d.description},
            {"MG36_TIPODOC", d.kind},
            {"MG36_INDDEFPIE", d.footer_defaults}});
    Insert(db, "MG3G_DOCDITTA",
           {{"MG3G_DITTA_CG18", kCompany},
            {"MG3G_CODDOCUM_MG36", d.code},
            {"MG3G_SEZDEFAULT", d.section}});
  }
  Insert(db, "CG33_TABCAU", {{"CG33_CODICE", "010"}, {"CG33_DESCR", "FATTURA DI VENDITA"}});
  Insert(db, "CG33_TABCAU", {{"CG33_CODICE", "020"}, {"CG33_DESCR", "INCASSO"}});

  const std::pair<const char*, const char*> accounts[] = {
      {"1401001", "CLIENTI ITALIA"},
      {"1801001", "CASSA PALESTRA CENTRO"},
      {"1801002", "CASSA PISCINA NORD"},
      {"1801003", "CASSA CENTRO MARE"},
      {"1802001", "BANCA C/C"},
      {"1899999", "CONTO TRANSITORIO INCASSI"},
      {"5801001", "RICAVI FITNESS"},
      {"5801002", "RICAVI BAR"},
      {"5801003", "RICAVI PISCINA"},
      {"5801004", "RICAVI CORSI"},
      {"5801005", "RICAVI BENESSERE"},
      {"5801006", "RICAVI SERVIZI DI SEGRETERIA"},
      {"5802001", "RICAVI FITNESS MARE"},
      {"5802002", "RICAVI BAR MARE"},
      {"5802003", "RICAVI SPIAGGIA E PISCINA"},
      {"5802004", "RICAVI BENESSERE MARE"},
      {"5802005", "RICAVI SERVIZI MARE"}};
  for (const auto& [account, description] : accounts) {
    Insert(db, "CG24_TABPDC",
           {{"CG24_GRUPPO_CG10", "1"}, {"CG24_CONTO", account}, {"CG24_DESCR", description}});
  }

  for (Vat v : {Vat::k22, Vat::k10, Vat::k4, Vat::kExempt}) {
    const VatDef& d = VatOf(v);
    bool exempt = d.rate == 0;
    RowWriter w(db, "CG28_TABCODIVA");
    w.Add({{"CG28_CODICE", d.code},
           {"CG28_DESCR",
            exempt ? std::string(d.description) : fmt::format("Aliquota IVA {}", d.rate)},
           {"CG28_TIPOLOGIA", exempt ? 3 : 1},
           {"CG28_PERCIVA", exempt ? Value(Null{}) : Value(d.rate)},
           {"CG28_FLGINDET", 0},
           {"CG28_CODPLAFOND", 0},
           {"CG28_FLGCORRVENT", 0},
           {"CG28_FLGSOSPIMP", 0},
           {"CG28_FLGNOTVAR", 0},
           {"CG28_FLGALLCLIFOR", 0},
           {"CG28_FLGIVAEDIT", 0},
           {"CG28_INDTIPOPART", 0},
           {"CG28_FLGAUTOUE", 0},
           {"CG28_FLGAGRI", 0},
           {"CG28_FLGMONOFASERSM", 0}});
    w.Flush();
  }

  // Payment terms: direct remittance, cash (effect type 1: settled when the document is
  // stored) and two instalments at 30 and 60 days.
  struct Instalment {
    const char* terms;
    int number;
    int effect;
    int days;
    int percent;
  };
  Insert(db, "CG62_CONDPAGDES",
         {{"CG62_CODPAG", "RD"}, {"CG62_FLGDESC", 0}, {"CG62_DESCPAG", "RIMESSA DIRETTA"}});
  Insert(db, "CG62_CONDPAGDES",
         {{"CG62_CODPAG", "1"}, {"CG62_FLGDESC", 0}, {"CG62_DESCPAG", "CONTANTI"}});
  Insert(db, "CG62_CONDPAGDES",
         {{"CG62_CODPAG", "R3060"},
          {"CG62_FLGDESC", 0},
          {"CG62_DESCPAG", "RIMESSA DIRETTA 30/60 GG"}});
  const Instalment instalments[] = {
      {"RD", 1, 2, 0, 100}, {"1", 1, 1, 0, 100}, {"R3060", 1, 2, 30, 50}, {"R3060", 2, 2, 60, 50}};
  for (const Instalment& i : instalments) {
    Insert(db, "CG63_CONDPAGDET",
           {{"CG63_CODPAG_CG62", i.terms},
            {"CG63_PROG", i.number},
            {"CG63_TIPOEFF", i.effect},
            {"CG63_STIPOEFF", 1},
            {"CG63_GGDECOR", i.days},
            {"CG63_INDDATARIF", 1},
            {"CG63_FLGFRPERCIMP", 1},
            {"CG63_PERCIMP", i.percent},
            {"CG63_FLGFRPERCIVA", 1},
            {"CG63_PERCIVA", i.percent},
            {"CG63_INDIMPFIX", 0},
            {"CG63_INDTIPODECOR", 0}});
  }

  RowWriter towns(db, "CG01_ANAGCOMUNI");
  for (const Town& t : lists.towns) {
    if (!t.in_erp) continue;
    towns.Add({{"CG01_CODICE", t.code},
               {"CG01_DESCR", t.name},
               {"CG01_CAP", t.postal_code},
               {"CG01_PROV", t.province}});
  }
  towns.Flush();
}

// The ERP's kit articles and the components of their bills of materials (type 50). The
// city gym's "Kit sauna" deliberately has none: the import holds its receipts back and says so.
struct KitArticle {
  const char* code;
  const char* description;
};
constexpr KitArticle kKitArticles[] = {
    {"KITBENV", "Kit benvenuto"},
    {"KITNUOTO", "Kit nuoto"},
    {"KITSAUNA", "Kit sauna"},
    {"KITMARE", "Kit spiaggia"},
    {"KC-BORRACCIA", "Borraccia 750 ml"},
    {"KC-ASCIUGAMANO", "Asciugamano in microfibra"},
    {"KC-LUCCHETTO", "Lucchetto per armadietto"},
    {"KC-CUFFIA", "Cuffia in silicone"},
    {"KC-OCCHIALINI", "Occhialini da nuoto"},
    {"KC-CIABATTE", "Ciabatte da piscina"},
    {"KC-TELO", "Telo mare in cotone"},
    {"KC-CREMA", "Crema solare 50+"},
};
struct KitBill {
  const char* kit;
  std::vector<std::tuple<const char*, int, std::int64_t>> components;  // article, quantity, cost
};
const std::vector<KitBill>& KitBills() {
  // A component without cost (0) keeps the price the document gives it.
  static const std::vector<KitBill> bills = {
      {"KITBENV", {{"KC-BORRACCIA", 1, 600}, {"KC-ASCIUGAMANO", 1, 1200}, {"KC-LUCCHETTO", 1, 0}}},
      {"KITNUOTO", {{"KC-CUFFIA", 1, 500}, {"KC-OCCHIALINI", 1, 900}, {"KC-CIABATTE", 1, 0}}},
      {"KITMARE", {{"KC-TELO", 1, 1500}, {"KC-CREMA", 2, 700}}},
  };
  return bills;
}

void WriteErpKits(Database& db) {
  const DateTime created = At(Day(std::chrono::year_month_day{
      std::chrono::year{kYear - 1}, std::chrono::September, std::chrono::day{1}}));
  for (const KitArticle& a : kKitArticles) {
    Insert(db, "MG66_ANAGRART",
           {{"MG66_DITTA_CG18", kCompany},
            {"MG66_CODART", a.code},
            {"MG66_DTCREAZ", created},
            {"MG66_UM1", "NR"},
            {"MG66_ALIVA_CG28", VatOf(Vat::k22).code}});
    Insert(db, "MG87_ARTDESC",
           {{"MG87_DITTA_CG18", kCompany},
            {"MG87_CODART_MG66", a.code},
            {"MG87_DESCART", a.description}});
  }
  int bill_id = 0;
  for (const KitBill& bill : KitBills()) {
    ++bill_id;
    Insert(db, "PD95_DISBA",
           {{"PD95_IDDISBA", bill_id},
            {"PD95_DITTA_CG18", kCompany},
            {"PD95_CODART_MG66", bill.kit},
            {"PD95_TIPO_DISTINTA", 50},
            {"PD95_DESCR", fmt::format("Distinta kit {}", bill.kit)},
            {"PD95_QTABASE", 1}});
    int link = 0;
    for (const auto& [component, quantity, cost] : bill.components) {
      ++link;
      Insert(db, "PD96_LEGAMIDISBA",
             {{"PD96_IDDISBA_PD95", bill_id},
              {"PD96_IDLEGAME", link},
              {"PD96_SEQUENZA", link * 10},
              {"PD96_CODART_MG66", component},
              {"PD96_QTA", quantity},
              {"PD96_COSTODB", Money(cost)}});
    }
  }
}

void WriteErpConfiguration(Database& db, const std::filesystem::path& errors) {
  struct Configuration {
    int id;
    const char* description;
    const char* database;
    const char* server;
  };
  // The embedded backend reports its server as "EMBEDDED": configuration 1 is on the ERP's own
  // server, configuration 2 on another one, which the import reaches as linked server GYM_2.
  const Configuration configurations[] = {
      {1, "Palestra Centro e Piscina Nord", "Palestra", "EMBEDDED"},
      {2, "Centro Mare (server remoto)", "Mare", "GYMSRV2"}};
  for (const Configuration& c : configurations) {
    Insert(db, "ZEV90_PARAMETRI",
           {{"ZEV90_ID", c.id},
            {"ZEV90_DITTA_CG18", kCompany},
            {"ZEV90_DESCR", c.description},
            {"ZEV90_DB_NAME", c.database},
            {"ZEV90_NOME_SERVER", c.server},
            {"ZEV90_OWNER_NAME", "palestra"},
            {"ZEV90_OWNER_PWD", Null{}},
            {"ZEV90_PATH_ERRORI", errors.string()},
            {"ZEV90_ULTIMA_ELAB", At(Day(kFirstDay) - std::chrono::days(8))},
            {"ZEV90_CODIVA_CG28", "22"}});
  }

  struct Settings {
    int configuration;
    int gym_company;
    const char* section;
    const char* document_type;
    const char* cash;
    const char* deposit;
    const char* terms;
    int branch;
    int account_type;
    int search_mode;
    int member_documents;
  };
  // Account types 1 to 4 and customer search modes 0 to 3 each appear once.
  const Settings companies[] = {{1, 1, "A", "", "1801001", "00", "RD", 1, 1, 0, 0},
                                {1, 2, "B", "", "1801002", "01", "", 2, 4, 2, 1},
                                {2, 1, "M", "", "1801003", "", "1", 0, 3, 3, 1},
                                {2, 2, "W", "FTV", "1801003", "02", "RD", 3, 2, 1, 0}};
  for (const Settings& s : companies) {
    Insert(db, "ZEV91_DITTE",
           {{"ZEV91_DITTA_VT", kCompany},
            {"ZEV91_IDPARAM_ZEV90", s.configuration},
            {"ZEV91_IDAZIENDA", s.gym_company}});
    Insert(db, "ZEV01_AZIENDE",
           {{"ZEV01_DITTA_CG18", kCompany},
            {"ZEV01_IDPARAM_ZEV90", s.configuration},
            {"ZEV01_AZIENDA", s.gym_company},
            {"ZEV01_SEZDOC", s.section},
            {"ZEV01_DOCUM_MG36", TextOrNull(s.document_type)},
            {"ZEV01_CASSA_CG24", s.cash},
            {"ZEV01_BANCA1_CG24", "1802001"},
            {"ZEV01_CLIFOR_CG44", kGenericCustomer},
            {"ZEV01_CODDEP_MG58", s.deposit},
            {"ZEV01_CODPAG_CG62", s.terms},
            {"ZEV01_CODICE_CG31", s.branch != 0 ? Value(s.branch) : Value(Null{})},
            {"ZEV01_TIPOCONTO", s.account_type},
            {"ZEV01_INDASSOCLI", s.search_mode},
            {"ZEV01_FLGDOCSOCI", s.member_documents}});
  }

  struct ReceiptType {
    const char* type;
    int transferred;
    int grouped;
    const char* document_type;
  };
  const ReceiptType types[] = {
      {"R", 1, 0, "FTC"}, {"F", 1, 0, "FTV"}, {"S", 1, 1, "CRP"}, {"P", 0, 0, "FTC"}};
  for (const ReceiptType& t : types) {
    Insert(db, "ZEV02_GYMVELTA",
           {{"ZEV02_DITTA_CG18", kCompany},
            {"ZEV02_TIPORICEVUTA", t.type},
            {"ZEV02_TRAS_IN_VT", t.transferred},
            {"ZEV02_ACCORPADOC", t.grouped},
            {"ZEV02_DOCUM_MG36", t.document_type}});
  }

  struct ServiceType {
    const char* code;
    const char* description;
    int kind;
    int imported;
    int competence;
    int analytic;
  };
  const ServiceType services[] = {{kTypeSubscription, "ABBONAMENTI", 1, 1, 1, 1},
                                  {kTypeTicket, "TICKETING", 2, 1, 0, 0},
                                  {kTypeBar, "VENDITE BAR", 3, 1, 0, 0},
                                  {kTypeFee, "QUOTA ASSOCIATIVA", 4, 1, 0, 0},
                                  {kTypeBooking, "PRENOTAZIONI", 5, 1, 0, 0},
                                  {kTypeAgenda, "AGENDA AVANZATA", 6, 1, 0, 1},
                                  {kTypePurse, "BORSELLINO", 7, 1, 0, 0},
                                  {kTypeSwimming, "CORSI NUOTO", 8, 1, 0, 0},
                                  {kTypeDeposit, "CAUZIONI TESSERA", 9, 1, 0, 0},
                                  {kTypeMedical, "MEDICO ESTETICA", 10, 1, 0, 0},
                                  {kTypeManual, "MOVIMENTI MANUALI", 11, 0, 0, 0},
                                  {kTypeStamp, "BOLLI", 12, 1, 0, 0}};
  for (const ServiceType& s : services) {
    Insert(db, "ZEV03_TIPISERVIZI",
           {{"ZEV03_DITTA_CG18", kCompany},
            {"ZEV03_TIPOSERVIZIO", s.code},
            {"ZEV03_DESCR", s.description},
            {"ZEV03_INDTIPOSERV", s.kind},
            {"ZEV03_FLGIMPORTA", s.imported},
            {"ZEV03_FLGDATACOMP", s.competence},
            {"ZEV03_FLGCOIN", s.analytic}});
  }

  // Cash and debit cards settle at once (effect type 1); credit cards and transfers do not. The
  // gym's payment type 5 has no row and takes the defaults.
  const std::array<std::array<int, 3>, 4> payments = {{{1, 1, 1}, {2, 1, 2}, {3, 4, 2}, {4, 2, 0}}};
  for (const auto& [gym, effect, subtype] : payments) {
    Insert(db, "ZEV04_TIPOPAG",
           {{"ZEV04_TIPOPAG_GYM", gym},
            {"ZEV04_TIPOEFF_VT", effect},
            {"ZEV04_SOTTOTIPO", subtype != 0 ? Value(subtype) : Value(Null{})}});
  }

  // Account types 3 and 4 map the gym's codes to revenue accounts.
  struct Mapping {
    int configuration;
    int gym_company;
    const char* code;
    const char* account;
  };
  const Mapping mappings[] = {
      {1, 2, "FITNESS", "5801001"},   {1, 2, "PISCINA", "5801003"},   {1, 2, "BAR", "5801002"},
      {1, 2, "BENESSERE", "5801005"}, {1, 2, "SERVIZI", "5801006"},   {2, 1, "FITNESS", "5802001"},
      {2, 1, "BAR", "5802002"},       {2, 1, "PISCINA", "5802003"},   {2, 1, "SPIAGGIA", "5802003"},
      {2, 1, "BENESSERE", "5802004"}, {2, 1, "SEGRETERIA", "5802005"}};
  for (const Mapping& m : mappings) {
    Insert(db, "ZEV05_CPMERCE",
           {{"ZEV05_DITTA_CG18", kCompany},
            {"ZEV05_IDPARAM_ZEV90", m.configuration},
            {"ZEV05_AZIENDA", m.gym_company},
            {"ZEV05_CONTO_GYM", m.code},
            {"ZEV05_CONTO_CG24", m.account}});
  }

  // A saved parameter set for unattended runs: "Normale", both configurations.
  const std::pair<const char*, const char*> night[] = {
      {"CONFIGURAZIONI", "1,2"}, {"ELABORA", "0"}, {"DATA_INI", ""},
      {"DATA_FINE", ""},         {"DADOC", ""},    {"ADOC", ""}};
  for (const auto& [key, value] : night) {
    Insert(db, "VRN99_IMPEXPPARAM",
           {{"VRN99_DITTA_CG18", kCompany},
            {"VRN99_PROGRAMMA", "ZEVUO_ZODADOVEZ"},
            {"VRN99_CODICE", "NOTTE"},
            {"VRN99_CHIAVE", key},
            {"VRN99_VALORE", value},
            {"VRN99_LASTCHANGE", At(Day(kFirstDay))}});
  }
}

void WriteErpCustomers(Database& db, const std::vector<User>& earlier) {
  Insert(db, "CG16_ANAGGEN",
         {{"CG16_CODICE", 1},
          {"CG16_RAGSOANAG", kGenericCustomerName},
          {"CG16_INDIRIZZO", "VIA ROMA,1"},
          {"CG16_COMANA_CG01", "F205"},
          {"CG16_CAP", "20121"},
          {"CG16_PROV", "MI"},
          {"CG16_CITTA", "MILANO"},
          {"CG16_CODICE_CG07", "86"},
          {"CG16_FLGPRSFIS", 0},
          {"CG16_RAGSOFISC", kGenericCustomerName},
          {"CG16_SESSO", 0},
          {"CG16_LASTCHANGE", At(Day(kFirstDay) - std::chrono::days(30))},
          {"CG16_FLGOMONIMO", 0},
          {"CG16_INDSOGGRIT", 0},
          {"CG16_FLGANAGVAL", 1},
          {"CG16_INDAGGCF", 0}});
  Insert(db, "CG44_CLIFOR",
         {{"CG44_DITTA_CG18", kCompany},
          {"CG44_TIPOCF", 0},
          {"CG44_CLIFOR", kGenericCustomer},
          {"CG44_CODICE_CG16", 1},
          {"CG44_GRUPPO_CG10", "1"},
          {"CG44_CODPAG_CG62", "RD"},
          {"CG44_LASTCHANGE", At(Day(kFirstDay) - std::chrono::days(30))}});
  std::int64_t master = 1;
  for (const User& u : earlier) WriteCustomer(db, ++master, u.id, u);
  Insert(db, "CG26_PROGANAG", {{"CG26_CODICE", "ANAGG"}, {"CG26_VALPROG", master}});
}

void RemoveDatabase(const std::filesystem::path& file) {
  std::error_code ignored;
  for (const char* suffix : {"", "-wal", "-shm"}) {
    std::filesystem::remove(file.string() + suffix, ignored);
  }
}

}  // namespace

std::filesystem::path DemoErpFile(const std::filesystem::path& dir) { return dir / "erp.db"; }

std::vector<std::filesystem::path> DemoDatabaseFiles(const std::filesystem::path& dir) {
  return {DemoErpFile(dir), dir / "Palestra.db", dir / "linked" / "GYM_2" / "Mare.db"};
}

void CreateDemoDatabases(const DemoOptions& options, const DemoProgress& progress) {
  if (options.receipts < 0) throw ConfigError("the number of receipts cannot be negative");
  std::vector<std::filesystem::path> files = DemoDatabaseFiles(options.dir);
  for (const auto& file : files) {
    if (std::filesystem::exists(file)) {
      throw ConfigError(
          fmt::format("{} already exists; remove it or name another folder", file.string()));
    }
  }
  const Lists lists = LoadLists();
  const GymProfile gyms[] = {Palestra(), Mare()};
  // The seaside centre has about a third of the receipts.
  const std::int64_t mare = options.receipts * 35 / 100;
  const std::int64_t counts[] = {options.receipts - mare, mare};
  std::filesystem::path errors =
      (std::filesystem::absolute(options.dir) / "log").lexically_normal();

  InitDatabases("sqlite:" + files[0].string(), gyms[0].database);
  try {
    // The import writes its dated folders into the errors folder; it must exist.
    std::filesystem::create_directories(errors);
    std::filesystem::create_directories(files[2].parent_path());
    {
      SqliteDatabase db(files[2], true);
      RunScript(db, GymSchema());
    }
    std::vector<User> earlier;
    std::int64_t written = 0;
    for (std::size_t g = 0; g < 2; ++g) {
      SqliteDatabase db(files[g + 1], false);
      db.ExecuteNative("BEGIN");
      // Each gym draws from its own stream, so that its rows do not depend on the other's size.
      GymWriter gym(db, gyms[g], lists, options.seed * 0x9E3779B97F4A7C15ULL + g);
      gym.WriteSettingsAndCatalogues();
      gym.WriteUsers(std::max<std::int64_t>(30, counts[g] / 5));
      gym.WriteReceipts(counts[g], [&](std::int64_t done) {
        if (progress) progress(written + done, options.receipts);
      });
      written += counts[g];
      db.ExecuteNative("COMMIT");
      // Some users of the city gym were imported by an earlier run: the ERP knows them.
      if (g == 0) {
        const auto& users = gym.users();
        earlier.assign(users.begin(), users.begin() + 3);
      }
    }
    SqliteDatabase erp(files[0], false);
    erp.ExecuteNative("BEGIN");
    WriteErpSettings(erp, lists);
    WriteErpConfiguration(erp, errors);
    WriteErpKits(erp);
    WriteErpCustomers(erp, earlier);
    erp.ExecuteNative("COMMIT");
  } catch (...) {
    for (const auto& file : files) RemoveDatabase(file);
    throw;
  }
}

std::string CodiceFiscale(std::string_view surname, std::string_view name, int year, unsigned month,
                          unsigned day, bool female, std::string_view town_code) {
  auto split = [](std::string_view text, std::string* consonants, std::string* vowels) {
    for (char c : text) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (c < 'A' || c > 'Z') continue;
      (std::string_view("AEIOU").find(c) != std::string_view::npos ? vowels : consonants)
          ->push_back(c);
    }
  };
  auto three = [](std::string letters) {
    letters += "XXX";
    return letters.substr(0, 3);
  };
  std::string consonants, vowels;
  split(surname, &consonants, &vowels);
  std::string code = three(consonants + vowels);
  consonants.clear();
  vowels.clear();
  split(name, &consonants, &vowels);
  // A first name with four or more consonants gives its first, third and fourth.
  if (consonants.size() >= 4) consonants.erase(1, 1);
  code += three(consonants + vowels);
  static constexpr char kMonths[] = "ABCDEHLMPRST";
  code +=
      fmt::format("{:02}{}{:02}", year % 100, kMonths[(month - 1) % 12], day + (female ? 40 : 0));
  code += town_code;
  code += CodiceFiscaleCheck(code);
  return code;
}

char CodiceFiscaleCheck(std::string_view first15) {
  // The value of a character in an odd position (the first, third, ...), by digit or letter.
  static constexpr int kOdd[] = {1,  0,  5, 7, 9, 13, 15, 17, 19, 21, 2,  4,  18,
                                 20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};
  int sum = 0;
  for (std::size_t i = 0; i < first15.size() && i < 15; ++i) {
    char c = first15[i];
    int index = c >= '0' && c <= '9' ? c - '0' : c - 'A';
    sum += i % 2 == 0 ? kOdd[index] : index;
  }
  return static_cast<char>('A' + sum % 26);
}

char PartitaIvaCheck(std::string_view first10) {
  int sum = 0;
  for (std::size_t i = 0; i < first10.size() && i < 10; ++i) {
    int digit = first10[i] - '0';
    if (i % 2 == 1) {
      digit *= 2;
      if (digit > 9) digit -= 9;
    }
    sum += digit;
  }
  return static_cast<char>('0' + (10 - sum % 10) % 10);
}

}  // namespace zodadovez::cli
