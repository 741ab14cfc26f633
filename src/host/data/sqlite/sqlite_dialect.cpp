#include "host/data/sqlite/sqlite_dialect.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "module/common/errors.h"

namespace zodadovez::sqlite {

std::string DbmsVersion(std::string_view sqlite_version) {
  return fmt::format("16.00.0000 (SQLite {})", sqlite_version);
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

DeclaredType ParseDeclaredType(std::string_view declared) {
  DeclaredType t;
  if (declared.empty()) return t;
  std::string d = AsciiLower(declared);
  std::string base = d.substr(0, d.find('('));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  std::vector<int> args;
  if (auto open = d.find('('); open != std::string::npos) {
    std::size_t i = open + 1;
    while (i < d.size()) {
      while (i < d.size() && (d[i] == ' ' || d[i] == ',')) ++i;
      if (i < d.size() && std::isdigit(static_cast<unsigned char>(d[i]))) {
        args.push_back(std::atoi(d.c_str() + i));
        while (i < d.size() && std::isdigit(static_cast<unsigned char>(d[i]))) ++i;
      } else {
        if (d.compare(i, 3, "max") == 0) args.push_back(0);
        break;
      }
    }
  }
  t.known = true;
  if (base == "decimal" || base == "numeric" || base == "money" || base == "smallmoney") {
    t.type = FieldType::kDecimal;
    t.precision = args.empty() ? 18 : args[0];
    t.scale = args.size() > 1 ? args[1] : (base == "money" || base == "smallmoney" ? 4 : 0);
  } else if (base == "int" || base == "integer" || base == "smallint" || base == "tinyint" ||
             base == "bigint") {
    t.type = FieldType::kInteger;
  } else if (base == "bit") {
    t.type = FieldType::kBool;
  } else if (base == "float" || base == "real" || base == "double") {
    t.type = FieldType::kDouble;
  } else if (base == "datetime" || base == "smalldatetime" || base == "date" ||
             base == "datetime2") {
    t.type = FieldType::kDate;
  } else if (base == "char" || base == "nchar") {
    t.type = FieldType::kText;
    t.size = args.empty() ? 1 : args[0];
    t.fixed_length = true;
  } else if (base == "varchar" || base == "nvarchar" || base == "text" || base == "ntext") {
    t.type = FieldType::kText;
    t.size = args.empty() ? (base == "varchar" || base == "nvarchar" ? 1 : 0) : args[0];
  } else if (base == "blob" || base == "varbinary" || base == "image") {
    t.type = FieldType::kBinary;
  } else {
    t.known = false;
  }
  return t;
}

bool IsDefinition(std::string_view sql) {
  while (!sql.empty() && std::isspace(static_cast<unsigned char>(sql.front())))
    sql.remove_prefix(1);
  std::string word = AsciiLower(sql.substr(0, 6));
  return word.starts_with("create") || word.starts_with("drop") || word.starts_with("alter");
}

std::size_t CountCharacters(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

Value DecimalFromText(const DeclaredType& type, std::string text) {
  Decimal d;
  if (!Decimal::TryParse(text, &d)) return Value(std::move(text));
  return Value(d.Round(type.scale).Rescale(type.scale));
}

std::string PadFixedLength(const DeclaredType& type, std::string text) {
  if (!type.fixed_length) return text;
  const std::size_t n = CountCharacters(text);
  if (n < static_cast<std::size_t>(type.size)) {
    text.append(static_cast<std::size_t>(type.size) - n, ' ');
  }
  return text;
}

Value ValueForColumn(std::string_view table, std::string_view column, const DeclaredType& type,
                     const Value& v) {
  if (v.is_null() || v.is_empty()) return Value(Null{});
  try {
    switch (type.type) {
      case FieldType::kText: {
        std::string s = v.ToText();
        if (type.size > 0 && CountCharacters(s) > static_cast<std::size_t>(type.size)) {
          throw DataError(fmt::format(
              "String or binary data would be truncated in table '{}', column '{}'. Truncated "
              "value: '{}'.",
              table, column, s.substr(0, static_cast<std::size_t>(type.size))));
        }
        return Value(std::move(s));
      }
      case FieldType::kDecimal: {
        // Half away from zero, as SQL Server rounds a decimal into a smaller scale.
        Decimal d = v.ToDecimal().Round(type.scale, RoundingMode::kHalfUp);
        Decimal limit = Decimal(1);
        for (int i = 0; i < type.precision - type.scale; ++i) limit *= Decimal(10);
        if ((d.sign() < 0 ? -d : d) >= limit) {
          throw DataError(fmt::format(
              "Arithmetic overflow error converting {} to data type numeric for column '{}' of "
              "table '{}'.",
              v.Describe(), column, table));
        }
        return Value(d);
      }
      case FieldType::kInteger:
        return Value(v.ToInteger());
      case FieldType::kBool:
        return Value(v.ToBool());
      case FieldType::kDouble:
        return Value(v.ToDouble());
      case FieldType::kDate:
        return Value(v.ToDate());
      case FieldType::kBinary:
        return v;
    }
  } catch (const ConversionError& e) {
    throw DataError(fmt::format("table '{}', column '{}': cannot store {}: {}", table, column,
                                v.Describe(), e.what()));
  }
  return v;
}

namespace {

// The bytes of `text` outside [A-Za-z0-9] and `keep` as %XX.
std::string PercentEncode(std::string_view text, std::string_view keep) {
  std::string out;
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || keep.find(c) != std::string_view::npos) {
      out.push_back(c);
    } else {
      out += fmt::format("%{:02X}", byte);
    }
  }
  return out;
}

}  // namespace

std::string FileUri(const std::filesystem::path& file) {
  return "file://" + PercentEncode(std::filesystem::absolute(file).string(), "/-_.~");
}

std::string AttachmentUri(const std::filesystem::path& erp_folder, const bridge::Attachment& a,
                          std::string_view sql, GymAccess gyms, bool in_transaction) {
  std::filesystem::path file = a.linked_server.empty()
                                   ? erp_folder / (a.database + ".db")
                                   : erp_folder / "linked" / a.linked_server / (a.database + ".db");
  if (!std::filesystem::exists(file)) {
    std::string where = a.linked_server.empty() ? fmt::format("gym database '{}'", a.database)
                                                : fmt::format("database '{}' on linked server '{}'",
                                                              a.database, a.linked_server);
    throw DataError(fmt::format("while executing \"{}\": {} not found (expected the file {})", sql,
                                where, file.string()));
  }
  if (in_transaction) {
    throw DataError(fmt::format(
        "while executing \"{}\": {} is named for the first time inside a transaction; a "
        "database file is attached only outside one",
        sql, a.linked_server.empty() ? a.database : a.linked_server + "." + a.database));
  }
  return FileUri(file) + (gyms == GymAccess::kReadOnly ? "?mode=ro" : "");
}

bool Transactions::Apply(const bridge::TransactionControl& control, std::string_view original,
                         const RunNative& run) {
  auto refuse = [&](const std::string& message) {
    throw DataError(fmt::format("while executing \"{}\": {}", original, message));
  };
  switch (control.op) {
    case bridge::TransactionControl::Op::kBegin:
      // A nested BEGIN only counts. The outermost takes the write lock at once (waiting for
      // another writer as long as the busy timeout allows): a transaction that read first could
      // not start writing once another connection had written, and would fail then.
      if (count_ == 0) {
        run("BEGIN IMMEDIATE");
        name_ = control.name;
      }
      ++count_;
      return false;
    case bridge::TransactionControl::Op::kCommit:
      // The name is ignored, as SQL Server ignores it.
      if (count_ == 0) {
        refuse("The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
      }
      if (count_ > 1) {
        --count_;
        return false;
      }
      run("COMMIT");  // a refused commit leaves the transaction open
      End();
      return true;
    case bridge::TransactionControl::Op::kRollback:
      if (count_ == 0) {
        refuse("The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.");
      }
      if (!control.name.empty()) {
        // The latest savepoint of that name, compared exactly as SQL Server compares transaction
        // names. It stays set; those set after it go. The count does not change.
        for (auto it = savepoints_.rbegin(); it != savepoints_.rend(); ++it) {
          if (it->name != control.name) continue;
          run("ROLLBACK TO " + it->native);
          savepoints_.erase(it.base(), savepoints_.end());
          return true;
        }
        // Only the outermost transaction's name is known; any other is an error, and the
        // transaction stays open.
        if (control.name != name_) {
          refuse(fmt::format(
              "Cannot roll back {}. No transaction or savepoint of that name was found.",
              control.name));
        }
      }
      run("ROLLBACK");
      End();
      return true;
    case bridge::TransactionControl::Op::kSave: {
      if (count_ == 0) refuse("Cannot issue SAVE TRANSACTION when there is no active transaction.");
      std::string native = fmt::format("zodadovez_{}", ++savepoints_set_);
      run("SAVEPOINT " + native);
      savepoints_.push_back({control.name, std::move(native)});
      return false;
    }
  }
  return false;
}

bool Transactions::AfterFailure(bool autocommit) {
  if (count_ == 0 || !autocommit) return false;
  End();
  return true;
}

void Transactions::End() {
  count_ = 0;
  name_.clear();
  savepoints_.clear();
}

FileLocks::FileHandle::~FileHandle() {
  if (fd_ >= 0) ::close(fd_);
}

bool FileLocks::Acquire(std::string_view resource, std::chrono::milliseconds wait) {
  if (resource.empty() || resource.size() > 255) {
    throw DataError(fmt::format("lock '{}': a lock's name has 1 to 255 characters", resource));
  }
  if (auto held = held_.find(resource); held != held_.end()) {
    ++held->second.count;
    return true;
  }
  const std::filesystem::path path =
      erp_file_.parent_path() /
      fmt::format("{}.{}.lock", erp_file_.filename().string(), PercentEncode(resource, "-_."));
  // Not inherited by a program this process starts: the lock is this process's alone.
  FileHandle file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (file.get() < 0) {
    throw DataError(fmt::format("lock '{}': cannot open {}: {}", resource, path.string(),
                                std::strerror(errno)));
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  std::chrono::milliseconds pause(1);
  while (::flock(file.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) {
      throw DataError(fmt::format("lock '{}': cannot lock {}: {}", resource, path.string(),
                                  std::strerror(errno)));
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(100));
  }
  held_.emplace(std::string(resource), Held{std::move(file), 1});
  return true;
}

void FileLocks::Release(std::string_view resource) {
  auto held = held_.find(resource);
  if (held == held_.end() || --held->second.count > 0) return;
  // Unlocked before it is closed: a child process forked meanwhile shares the open file and
  // would otherwise keep the lock.
  ::flock(held->second.file.get(), LOCK_UN);
  held_.erase(held);
}

}  // namespace zodadovez::sqlite
