// The results and anomaly files of a run, read back line by line into their columns.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace zodadovez::testing {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string Trimmed(const std::string& s) {
  std::size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The columns of a file's lines after its five header lines. Column widths are characters;
// the first columns of both files are ASCII, and the last one takes the rest of the line.
inline std::vector<std::vector<std::string>> ReportLines(const std::string& path,
                                                         const std::vector<std::size_t>& widths) {
  std::vector<std::vector<std::string>> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  for (int n = 0; std::getline(in, line); ++n) {
    if (n < 5) continue;
    std::vector<std::string> columns;
    std::size_t at = 0;
    for (std::size_t width : widths) {
      columns.push_back(Trimmed(at < line.size() ? line.substr(at, width) : ""));
      at += width + 1;
    }
    columns.push_back(Trimmed(at < line.size() ? line.substr(at) : ""));
    lines.push_back(std::move(columns));
  }
  return lines;
}

// Results file: result, table, description.
inline std::vector<std::vector<std::string>> ResultLines(const std::string& path) {
  return ReportLines(path, {10, 30});
}
// Anomaly file: row, operation, error number, description.
inline std::vector<std::vector<std::string>> AnomalyLines(const std::string& path) {
  return ReportLines(path, {10, 50, 20});
}

}  // namespace zodadovez::testing
