// A fresh folder for one test, removed afterwards.
#pragma once

#include <filesystem>
#include <random>
#include <string>

namespace zodadovez::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    // A short name: the run history keeps the anomaly file's path in 80 characters.
    path_ = std::filesystem::temp_directory_path() / ("zdv-" + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string Uri(const std::string& file = "erp.db") const {
    return "sqlite:" + (path_ / file).string();
  }

 private:
  std::filesystem::path path_;
};

}  // namespace zodadovez::testing
