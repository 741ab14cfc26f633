// The ERP connection of a subcommand, from its options, the environment or a file.
#include "cli/erp_option.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

#include "module/common/errors.h"

namespace zodadovez::cli {
namespace {

// A connection string is a line; a file much longer than that is not one.
constexpr std::size_t kMaxFileBytes = 64 * 1024;

const char* Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::string ReadErpFile(const std::string& path, const std::string& source) {
  const std::string what = fmt::format("{} {}", source, path);
  // O_NONBLOCK: a FIFO put there is refused below instead of waiting for a writer.
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    throw ConfigError(fmt::format("{}: cannot open the file: {}", what, std::strerror(errno)));
  }
  // The checks look at the file opened, not at the name, which may change in between.
  struct stat info {};
  if (fstat(fd.get(), &info) != 0) {
    throw ConfigError(fmt::format("{}: cannot read the file: {}", what, std::strerror(errno)));
  }
  if (!S_ISREG(info.st_mode)) throw ConfigError(fmt::format("{}: not a regular file", what));
  if ((info.st_mode & 077) != 0) {
    throw ConfigError(fmt::format(
        "{}: the file holds a password, but its group or others may read or write it (mode "
        "{:04o}); let only its owner do so: chmod 600 {}",
        what, info.st_mode & 07777, path));
  }
  std::string text;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd.get(), buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      throw ConfigError(fmt::format("{}: cannot read the file: {}", what, std::strerror(errno)));
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxFileBytes) {
      throw ConfigError(fmt::format("{}: longer than a connection string can be", what));
    }
  }
  if (text.ends_with('\n')) text.pop_back();
  if (text.ends_with('\r')) text.pop_back();
  if (text.find_first_of("\r\n") != std::string::npos) {
    throw ConfigError(
        fmt::format("{}: holds more than one line; write the connection on one", what));
  }
  if (!text.starts_with("sqlite:") && !text.starts_with("sqlserver:") &&
      !text.starts_with("odbc:")) {
    throw ConfigError(
        fmt::format("{}: expected one line sqlite:PATH, sqlserver:ODBC-CONNECTION-STRING or "
                    "odbc:ODBC-CONNECTION-STRING",
                    what));
  }
  return text;
}

std::string ResolveErp(const ErpOption& given, bool must_exist) {
  std::string erp = given.erp;
  if (erp.empty() && !given.file.empty()) erp = ReadErpFile(given.file, "--erp-file");
  if (erp.empty()) {
    const char* variable = Environment("ZODADOVEZ_ERP");
    const char* file = Environment("ZODADOVEZ_ERP_FILE");
    if (variable != nullptr && file != nullptr) {
      throw ConfigError(
          "both ZODADOVEZ_ERP and ZODADOVEZ_ERP_FILE are set: unset the one not meant");
    }
    if (variable != nullptr) erp = variable;
    if (file != nullptr) erp = ReadErpFile(file, "ZODADOVEZ_ERP_FILE");
  }
  if (erp.empty()) {
    throw ConfigError(
        "no ERP database given: pass --erp CONN or --erp-file FILE, or set ZODADOVEZ_ERP or "
        "ZODADOVEZ_ERP_FILE");
  }
  constexpr std::string_view kSqlite = "sqlite:";
  if (must_exist && erp.starts_with(kSqlite)) {
    // A database file that is not there is a database that cannot be reached, as a server
    // that does not answer: the command could not run.
    std::filesystem::path file(erp.substr(kSqlite.size()));
    std::error_code error;
    std::filesystem::file_type type = std::filesystem::status(file, error).type();
    std::string reason = type == std::filesystem::file_type::not_found ? "no such file"
                         : error                                       ? error.message()
                         : type != std::filesystem::file_type::regular ? "not a database file"
                                                                       : "";
    if (!reason.empty()) {
      throw Error(fmt::format("cannot connect to the ERP database: {}: {}", file.string(), reason));
    }
  }
  return erp;
}

}  // namespace zodadovez::cli
