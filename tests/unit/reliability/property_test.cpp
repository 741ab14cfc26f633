// Over small generated gym databases, every receipt the selection takes is accounted for: it
// ends as one saved document, or one rejection line naming it in the results file, or an
// anomaly line at its row; the counters add up; and the run never throws.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <rapidcheck.h>

#include <cstdlib>
#include <memory>
#include <sstream>

#include "tests/support/window_fixture.h"
#include "tests/unit/reliability/gym_builder.h"
#include "tests/unit/reliability/report_files.h"

namespace zodadovez {
namespace {

using testing::GymReceipt;
using testing::GymRow;
using testing::WindowFixture;

// Receipt types of the example configuration: R and F one document each (also in lower case:
// the join compares case-insensitively), S grouped per day, P and N not transferred.
const char* const kTypes[] = {"R", "F", "r", "S", "P", "N"};
// Service types: U stamp duty, T ticket, I member fee, A subscription, G agenda, B bar,
// X not imported, Q unknown to the configuration.
const char* const kServices[] = {"U", "T", "I", "A", "G", "B", "X", "Q"};
// What a row's till movement points at, by service: the example's subscription enrolment,
// agenda booking and bar sale.
Value Enrolment(const std::string& service) {
  if (service == "A") return 500;
  if (service == "G") return 700;
  if (service == "B") return 800;
  return Value();
}

// A value drawn at full size: the generators scale with rapidcheck's size, which starts small,
// and a case of twenty should not be mostly empty databases.
template <typename T>
T Draw(rc::Gen<T> gen) {
  return *rc::gen::resize(100, std::move(gen));
}

struct Generated {
  std::vector<GymReceipt> receipts;
  std::vector<bool> selected;  // by the selection's own rules, worked out independently
};

Generated Generate() {
  Generated g;
  const int count = Draw(rc::gen::inRange(0, 7));
  for (int i = 0; i < count; ++i) {
    GymReceipt r;
    r.id = 8000 + i;
    const std::string type = kTypes[Draw(rc::gen::inRange(0, 6))];
    r.type = type;
    r.company = Draw(rc::gen::inRange(1, 4));  // gym company 3 is in no configuration
    r.cancelled = Draw(rc::gen::element(0, 0, 0, -1));
    // Distinct moments, so that the loop's order (date, then company) is known.
    r.date = MakeDateTime(2025, 3, static_cast<unsigned>(Draw(rc::gen::inRange(1, 4))), 9, i);
    r.number = Draw(rc::gen::element(0, 1)) == 0 ? Value(0) : Value(r.id);
    r.user = Draw(rc::gen::element<Value>(Null{}, 101, 102, 103, 104, 999));
    const int rows = Draw(rc::gen::inRange(0, 4));
    for (int k = 0; k < rows; ++k) {
      GymRow row;
      row.service = kServices[Draw(rc::gen::inRange(0, 8))];
      row.enrolment = Enrolment(row.service);
      row.payment = Draw(rc::gen::element<Value>(1, 3, 5, Null{}, 9));
      row.quantity = Draw(rc::gen::element<Value>(Decimal(1), Decimal(2), Decimal(0), Decimal(-1)));
      row.price = Draw(
          rc::gen::element<Value>(Decimal(10), Decimal(0), Decimal(-5), Decimal::FromDouble(2.5)));
      row.description = fmt::format("Riga {} di {}", k, r.id);
      r.rows.push_back(row);
    }
    const bool transferred = type == "R" || type == "F" || type == "r";
    g.selected.push_back(transferred && r.company <= 2 && r.cancelled == 0);
    g.receipts.push_back(std::move(r));
  }
  return g;
}

std::string Describe(const Generated& g) {
  std::ostringstream out;
  for (std::size_t i = 0; i < g.receipts.size(); ++i) {
    const GymReceipt& r = g.receipts[i];
    out << r.id << " " << r.type.ToText() << " company " << r.company << " cancelled "
        << r.cancelled << " number " << r.number.ToText() << " user "
        << (r.user.is_null() ? "NULL" : r.user.ToText()) << " on "
        << FormatItalianDate(r.date.as_date()) << (g.selected[i] ? " selected" : "") << ":";
    for (const GymRow& row : r.rows) {
      out << " [" << row.service << " x" << row.quantity.ToText() << " at " << row.price.ToText()
          << " pay " << (row.payment.is_null() ? "NULL" : row.payment.ToText()) << "]";
    }
    out << "\n";
  }
  return out.str();
}

// The example data once (removed with the test program); every case runs on a copy of it.
WindowFixture& Template() {
  static WindowFixture fixture;
  static const bool loaded = [] {
    fixture.LoadExample();
    // Gym company 2 gets a default customer too: a receipt without one is rejected with an
    // empty results line, which names no receipt (the receipt document tests cover it).
    fixture.Exec("UPDATE ZEV01_AZIENDE SET ZEV01_CLIFOR_CG44 = 9999");
    return true;
  }();
  (void)loaded;
  return fixture;
}

void EveryReceiptIsAccountedFor() {
  const Generated g = Generate();
  RC_TAG(g.receipts.size());
  WindowFixture f(Template());
  for (const GymReceipt& r : g.receipts) testing::AddReceipt(f.db(), r);

  ParameterSet set;
  set.configurations = {1};
  set.mode = 1;
  set.date_from = "01/01/2025";
  set.date_to = "31/12/2025";
  ImportRun* w = nullptr;
  try {
    w = &f.Import(set);
  } catch (const std::exception& e) {
    RC_FAIL(std::string("the run threw: ") + e.what() + "\n" + Describe(g));
  }
  RC_ASSERT(w->outcomes.size() == 1u);
  const ConfigurationOutcome& outcome = w->outcomes[0];
  const auto results = testing::ResultLines(outcome.results_path);
  const auto anomalies = testing::AnomalyLines(outcome.anomalies_path);
  const std::string context = Describe(g) + testing::ReadFile(outcome.results_path) +
                              testing::ReadFile(outcome.anomalies_path);

  // The loop's order: by date, then gym company (the dates are distinct).
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < g.receipts.size(); ++i) {
    if (g.selected[i]) order.push_back(i);
  }
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return g.receipts[a].date.as_date() < g.receipts[b].date.as_date();
  });

  std::int64_t saved_count = 0;
  for (std::size_t i = 0; i < g.receipts.size(); ++i) {
    const GymReceipt& r = g.receipts[i];
    // A document numbered as the receipt, or carrying its id when it has no number.
    const std::string where =
        r.number == Value(0)
            ? fmt::format("DO11_NUMDOCORIG = {}", r.id)
            : fmt::format("DO11_NUMDOC = {} AND DO11_NUMDOCORIG IS NULL", r.number.ToText());
    Recordset docs = f.db().open(
        "SELECT DO11_NUMREG_CO99 FROM DO11_DOCTESTATA WHERE "
        "DO11_ANNODOC = 2025 AND " +
        where);
    const std::size_t documents = docs.record_count();
    const std::string key = fmt::format("IDRicevuta = {} /", r.id);
    bool rejected = false;
    for (const auto& line : results) {
      rejected = rejected || (line[0] == "NO" && line[2].find(key) != std::string::npos);
    }
    if (!g.selected[i]) {
      RC_ASSERT_FALSE(documents != 0 || rejected);
      continue;
    }
    const std::size_t row =
        static_cast<std::size_t>(std::find(order.begin(), order.end(), i) - order.begin()) + 1;
    bool anomalous = false;
    for (const auto& line : anomalies) anomalous = anomalous || line[0] == std::to_string(row);
    if (documents > 1 || (documents == 1 && rejected) ||
        (documents == 0 && !rejected && !anomalous)) {
      RC_FAIL(fmt::format("receipt {}: {} documents, rejected {}, anomaly {}\n{}", r.id, documents,
                          rejected, anomalous, context));
    }
    saved_count += static_cast<std::int64_t>(documents);
  }

  // Each counters block: present = imported + discarded. The first one is the receipt loop's
  // when it found receipts; grouped documents may add theirs.
  std::vector<std::int64_t> counters;
  for (const auto& line : results) {
    for (const char* name :
         {"Documenti Presenti = ", "Documenti Importati = ", "Documenti Scartati = "}) {
      if (line[2].starts_with(name)) counters.push_back(std::stoll(line[2].substr(strlen(name))));
    }
  }
  RC_ASSERT(counters.size() % 3 == 0u);
  for (std::size_t k = 0; k < counters.size(); k += 3) {
    RC_ASSERT(counters[k] == counters[k + 1] + counters[k + 2]);
  }
  if (!order.empty()) {
    RC_ASSERT(!counters.empty());
    if (counters[0] != static_cast<std::int64_t>(order.size()) || counters[1] != saved_count) {
      RC_FAIL(fmt::format("present {} imported {}, expected {} and {}\n{}", counters[0],
                          counters[1], order.size(), saved_count, context));
    }
  }
}

TEST(ImportProperty, EveryReceiptIsAccountedFor) {
  // Twenty small databases by default; RC_PARAMS="max_success=500" runs more.
  rc::detail::TestParams params = rc::detail::configuration().testParams;
  if (std::getenv("RC_PARAMS") == nullptr) params.maxSuccess = 20;
  rc::detail::TestMetadata metadata;
  metadata.id = "ImportProperty/EveryReceiptIsAccountedFor";
  const auto result = rc::detail::checkTestable(&EveryReceiptIsAccountedFor, metadata, params);
  if (!result.is<rc::detail::SuccessResult>()) {
    std::ostringstream message;
    rc::detail::printResultMessage(result, message);
    FAIL() << message.str();
  }
}

}  // namespace
}  // namespace zodadovez
