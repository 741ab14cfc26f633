#include "cli/table.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>

namespace zodadovez::cli {
namespace {

std::size_t Width(const std::string& s) {
  std::size_t n = 0;
  for (char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace

void PrintTable(std::FILE* out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& right) {
  std::vector<std::size_t> widths(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) widths[c] = Width(header[c]);
  for (const auto& row : rows) {
    for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c) {
      widths[c] = std::max(widths[c], Width(row[c]));
    }
  }
  auto print_row = [&](const std::vector<std::string>& row) {
    std::string line;
    for (std::size_t c = 0; c < widths.size(); ++c) {
      const std::string cell = c < row.size() ? row[c] : "";
      std::string pad(widths[c] - Width(cell), ' ');
      bool align_right = c < right.size() && right[c];
      line += (c == 0 ? "" : "  ") + (align_right ? pad + cell : cell + pad);
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    fmt::print(out, "{}\n", line);
  };
  print_row(header);
  std::vector<std::string> rule;
  for (std::size_t w : widths) rule.emplace_back(w, '-');
  print_row(rule);
  for (const auto& row : rows) print_row(row);
}

ProgressView::ProgressView() : terminal_(isatty(STDERR_FILENO) == 1) {}

ProgressView::~ProgressView() { Finish(); }

void ProgressView::OnProgress(const RunProgress& p) {
  if (p.action == "Close" || (p.value == 0 && drawn_)) {
    // The loop of a phase ended: keep its last bar on its own line.
    Finish();
    return;
  }
  if (p.total <= 0 || p.action != "View") return;
  const std::string label = fmt::format("config {} {}", p.configuration_id, p.phase);
  if (!terminal_) {
    const auto now = std::chrono::steady_clock::now();
    if (now < next_line_ && p.value < p.total) return;
    next_line_ = now + std::chrono::seconds(5);
    fmt::print(stderr, "{}: {:.0f}/{:.0f}\n", label, p.value, p.total);
    return;
  }
  int permille = static_cast<int>(std::min(1.0, p.value / p.total) * 1000);
  if (permille == last_permille_) return;  // redraw only when the bar moves
  last_permille_ = permille;
  constexpr int kCells = 30;
  int filled = permille * kCells / 1000;
  fmt::print(stderr, "\r  {} [{}{}] {:>3}%  {:.0f}/{:.0f}", label, std::string(filled, '#'),
             std::string(kCells - filled, ' '), permille / 10, p.value, p.total);
  std::fflush(stderr);
  drawn_ = true;
}

void ProgressView::Finish() {
  if (drawn_) fmt::print(stderr, "\n");
  drawn_ = false;
  last_permille_ = -1;
}

}  // namespace zodadovez::cli
