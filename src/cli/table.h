// Plain-text tables and the progress bar of the command line.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "module/shell/frmzev_zodadovez.h"

namespace zodadovez::cli {

// Prints rows under a header, each column as wide as its widest cell (in characters).
// Columns listed in `right` are aligned to the right (numbers).
void PrintTable(std::FILE* out, const std::vector<std::string>& header,
                const std::vector<std::vector<std::string>>& rows,
                const std::vector<bool>& right = {});

// Shows the receipt loop's progress on standard error when it is a terminal.
class ProgressView : public WindowView {
 public:
  ProgressView();
  ~ProgressView() override;
  void OnProgress(double maximum, double value, const std::string& text) override;
  // Ends the bar's line.
  void Finish();

 private:
  bool terminal_;
  bool drawn_ = false;
  int last_permille_ = -1;
};

}  // namespace zodadovez::cli
