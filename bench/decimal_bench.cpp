// Micro-benchmarks of Decimal against double on receipt-sized amounts, and of the value helpers
// on the values the import passes through them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "module/common/decimal.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/value.h"

namespace zodadovez {
namespace {

// Prices and quantities as receipts carry them: two decimals, a few digits.
const char* const kAmounts[] = {"12.50", "3.99",  "49.00",  "0.10", "120.00", "7.35",
                                "1.005", "19.90", "250.75", "0.01", "35.20",  "2.00"};
constexpr std::size_t kCount = sizeof(kAmounts) / sizeof(kAmounts[0]);

std::vector<Decimal> Decimals() {
  std::vector<Decimal> v;
  for (const char* a : kAmounts) v.push_back(Decimal::Parse(a));
  return v;
}
std::vector<double> Doubles() {
  std::vector<double> v;
  for (const char* a : kAmounts) v.push_back(std::stod(a));
  return v;
}

void BM_DecimalAdd(benchmark::State& state) {
  std::vector<Decimal> v = Decimals();
  std::size_t i = 0;
  for (auto _ : state) {
    Decimal sum = v[i % kCount] + v[(i + 1) % kCount];
    benchmark::DoNotOptimize(sum);
    ++i;
  }
}
BENCHMARK(BM_DecimalAdd);

void BM_DoubleAdd(benchmark::State& state) {
  std::vector<double> v = Doubles();
  std::size_t i = 0;
  for (auto _ : state) {
    double sum = v[i % kCount] + v[(i + 1) % kCount];
    benchmark::DoNotOptimize(sum);
    ++i;
  }
}
BENCHMARK(BM_DoubleAdd);

// A running total over a receipt's rows, where alignments of scale happen.
void BM_DecimalAccumulate(benchmark::State& state) {
  std::vector<Decimal> v = Decimals();
  for (auto _ : state) {
    Decimal total;
    for (const Decimal& d : v) total += d;
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kCount));
}
BENCHMARK(BM_DecimalAccumulate);

void BM_DecimalMultiply(benchmark::State& state) {
  std::vector<Decimal> v = Decimals();
  std::size_t i = 0;
  for (auto _ : state) {
    Decimal product = v[i % kCount] * v[(i + 5) % kCount];
    benchmark::DoNotOptimize(product);
    ++i;
  }
}
BENCHMARK(BM_DecimalMultiply);

void BM_DoubleMultiply(benchmark::State& state) {
  std::vector<double> v = Doubles();
  std::size_t i = 0;
  for (auto _ : state) {
    double product = v[i % kCount] * v[(i + 5) % kCount];
    benchmark::DoNotOptimize(product);
    ++i;
  }
}
BENCHMARK(BM_DoubleMultiply);

// A product past 28 decimals or 38 digits takes the 256-bit path and rounds.
void BM_DecimalMultiplyWide(benchmark::State& state) {
  Decimal a = Decimal::Parse("1") / Decimal::Parse("3");
  Decimal b = Decimal::Parse("1234.5678");
  for (auto _ : state) {
    Decimal product = a * b;
    benchmark::DoNotOptimize(product);
    benchmark::DoNotOptimize(a);
  }
}
BENCHMARK(BM_DecimalMultiplyWide);

void BM_DecimalDivide(benchmark::State& state) {
  std::vector<Decimal> v = Decimals();
  std::size_t i = 0;
  for (auto _ : state) {
    Decimal q = v[i % kCount] / v[(i + 5) % kCount];
    benchmark::DoNotOptimize(q);
    ++i;
  }
}
BENCHMARK(BM_DecimalDivide);

void BM_DecimalRound(benchmark::State& state) {
  std::vector<Decimal> v;
  for (const Decimal& d : Decimals()) v.push_back(d * Decimal::Parse("1.2237"));
  std::size_t i = 0;
  for (auto _ : state) {
    Decimal r = v[i % kCount].Round(2);
    benchmark::DoNotOptimize(r);
    ++i;
  }
}
BENCHMARK(BM_DecimalRound);

void BM_DoubleRound(benchmark::State& state) {
  std::vector<double> v;
  for (double d : Doubles()) v.push_back(d * 1.2237);
  std::size_t i = 0;
  for (auto _ : state) {
    double r = std::nearbyint(v[i % kCount] * 100) / 100;
    benchmark::DoNotOptimize(r);
    ++i;
  }
}
BENCHMARK(BM_DoubleRound);

void BM_RoundDec(benchmark::State& state) {
  std::vector<double> v;
  for (double d : Doubles()) v.push_back(d * 1.2237);
  std::size_t i = 0;
  for (auto _ : state) {
    double r = RoundDec(v[i % kCount], 2);
    benchmark::DoNotOptimize(r);
    ++i;
  }
}
BENCHMARK(BM_RoundDec);

void BM_NzDecText(benchmark::State& state) {
  Value v("1.234,50");
  for (auto _ : state) benchmark::DoNotOptimize(NzDec(v));
}
BENCHMARK(BM_NzDecText);

void BM_NzDecDecimal(benchmark::State& state) {
  Value v(Decimal::Parse("12.50"));
  for (auto _ : state) benchmark::DoNotOptimize(NzDec(v));
}
BENCHMARK(BM_NzDecDecimal);

void BM_NzDecNull(benchmark::State& state) {
  Value v{Null()};
  for (auto _ : state) benchmark::DoNotOptimize(NzDec(v));
}
BENCHMARK(BM_NzDecNull);

void BM_RTrimNz(benchmark::State& state) {
  Value v("ROSSI MARIO                   ");  // a char(30) column
  for (auto _ : state) benchmark::DoNotOptimize(RTrimNz(v));
}
BENCHMARK(BM_RTrimNz);

void BM_PadLeft(benchmark::State& state) {
  Value v("4711");
  for (auto _ : state) benchmark::DoNotOptimize(PadLeft(v, 6));
}
BENCHMARK(BM_PadLeft);

}  // namespace
}  // namespace zodadovez
