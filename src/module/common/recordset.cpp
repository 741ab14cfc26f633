// Recordset: disconnected rows with a cursor, filter, sort and clones.
#include <algorithm>
#include <cctype>
#include <optional>
#include <unordered_map>

#include <fmt/format.h>

#include "module/common/database.h"
#include "module/common/errors.h"
#include "module/common/text_compare.h"

namespace zodadovez {

struct Recordset::Data {
  std::vector<FieldInfo> fields;
  std::vector<std::vector<Value>> rows;
  std::unordered_map<std::string, int, NameHash, NameEqual> index;  // name -> field
};

namespace {


bool IsNumeric(const Value& v) { return v.is_number() || v.kind() == ValueKind::kBool; }

// Orders two field values: Null and Empty first, then numbers, dates and texts by their own
// rules. Values of different kinds that cannot be compared order by kind.
int CompareValues(const Value& a, const Value& b) {
  bool a_missing = a.is_null() || a.is_empty();
  bool b_missing = b.is_null() || b.is_empty();
  if (a_missing || b_missing) return static_cast<int>(b_missing) - static_cast<int>(a_missing);
  if (IsNumeric(a) && IsNumeric(b)) {
    if (a.kind() == ValueKind::kDouble || b.kind() == ValueKind::kDouble) {
      double x = a.ToDouble();
      double y = b.ToDouble();
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    auto c = a.ToDecimal() <=> b.ToDecimal();
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
  }
  if (a.kind() == ValueKind::kDate && b.kind() == ValueKind::kDate) {
    return a.as_date() < b.as_date() ? -1 : (b.as_date() < a.as_date() ? 1 : 0);
  }
  if (a.is_text() && b.is_text()) return CompareText(a.as_text(), b.as_text());
  // A text against a number or a date: compare as the non-text kind when the text converts.
  try {
    if (a.is_text() && IsNumeric(b)) return CompareValues(Value(a.ToDecimal()), b);
    if (b.is_text() && IsNumeric(a)) return CompareValues(a, Value(b.ToDecimal()));
    if (a.is_text() && b.kind() == ValueKind::kDate) return CompareValues(Value(a.ToDate()), b);
    if (b.is_text() && a.kind() == ValueKind::kDate) return CompareValues(a, Value(b.ToDate()));
  } catch (const ConversionError&) {
  }
  return static_cast<int>(a.kind()) - static_cast<int>(b.kind());
}

// "*" and "%" match any run of characters, "_" and "?" one character; case-insensitive.
bool Like(std::string_view text, std::string_view pattern) {
  std::string t = FoldCase(text);
  std::string p = FoldCase(pattern);
  std::size_t ti = 0, pi = 0, star = std::string::npos, mark = 0;
  while (ti < t.size()) {
    if (pi < p.size() && (p[pi] == '?' || p[pi] == '_' || p[pi] == t[ti])) {
      ++ti;
      ++pi;
    } else if (pi < p.size() && (p[pi] == '*' || p[pi] == '%')) {
      star = pi++;
      mark = ti;
    } else if (star != std::string::npos) {
      pi = star + 1;
      ti = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && (p[pi] == '*' || p[pi] == '%')) ++pi;
  return pi == p.size();
}

// The filter criteria, parsed once into a small expression tree.
struct Criterion {
  enum class Op { kEq, kNe, kLt, kGt, kLe, kGe, kLike, kAnd, kOr };
  Op op;
  int field = -1;
  Value literal;
  std::vector<Criterion> children;  // for kAnd / kOr
};

class CriteriaParser {
 public:
  CriteriaParser(std::string_view text, const Recordset& rs) : text_(text), rs_(rs) {}

  Criterion Parse() {
    Criterion c = ParseOr();
    SkipBlanks();
    if (pos_ != text_.size()) Fail("unexpected text");
    return c;
  }

 private:
  std::string_view text_;
  const Recordset& rs_;
  std::size_t pos_ = 0;

  [[noreturn]] void Fail(std::string_view why) {
    throw DataError(fmt::format("filter \"{}\": {} at position {}", text_, why, pos_ + 1));
  }
  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool Keyword(std::string_view word) {
    SkipBlanks();
    if (text_.size() - pos_ < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
      if (std::toupper(static_cast<unsigned char>(text_[pos_ + k])) != word[k]) return false;
    }
    std::size_t end = pos_ + word.size();
    if (end < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[end])) ||
                               text_[end] == '_')) {
      return false;
    }
    pos_ = end;
    return true;
  }
  Criterion ParseOr() {
    Criterion left = ParseAnd();
    if (!Keyword("OR")) return left;
    Criterion node{Criterion::Op::kOr, -1, Value(), {std::move(left)}};
    do node.children.push_back(ParseAnd());
    while (Keyword("OR"));
    return node;
  }
  Criterion ParseAnd() {
    Criterion left = ParseComparison();
    if (!Keyword("AND")) return left;
    Criterion node{Criterion::Op::kAnd, -1, Value(), {std::move(left)}};
    do node.children.push_back(ParseComparison());
    while (Keyword("AND"));
    return node;
  }
  Criterion ParseComparison() {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == '(') {
      ++pos_;
      Criterion inner = ParseOr();
      SkipBlanks();
      if (pos_ >= text_.size() || text_[pos_] != ')') Fail("missing ')'");
      ++pos_;
      return inner;
    }
    Criterion c{Criterion::Op::kEq, FieldName(), Value(), {}};
    c.op = Operator();
    c.literal = Literal();
    return c;
  }
  int FieldName() {
    SkipBlanks();
    std::string name;
    if (pos_ < text_.size() && text_[pos_] == '[') {
      std::size_t close = text_.find(']', pos_);
      if (close == std::string_view::npos) Fail("missing ']'");
      name = text_.substr(pos_ + 1, close - pos_ - 1);
      pos_ = close + 1;
    } else {
      while (pos_ < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[pos_])) ||
                                     text_[pos_] == '_')) {
        name.push_back(text_[pos_++]);
      }
    }
    if (name.empty()) Fail("field name expected");
    int index = rs_.field_index(name);
    if (index < 0) Fail(fmt::format("unknown field '{}'", name));
    return index;
  }
  Criterion::Op Operator() {
    SkipBlanks();
    auto starts = [&](std::string_view op) { return text_.substr(pos_, op.size()) == op; };
    static constexpr std::pair<std::string_view, Criterion::Op> kOps[] = {
        {"<>", Criterion::Op::kNe}, {"<=", Criterion::Op::kLe}, {">=", Criterion::Op::kGe},
        {"=", Criterion::Op::kEq},  {"<", Criterion::Op::kLt},  {">", Criterion::Op::kGt}};
    for (const auto& [text, op] : kOps) {
      if (starts(text)) {
        pos_ += text.size();
        return op;
      }
    }
    if (Keyword("LIKE")) return Criterion::Op::kLike;
    Fail("comparison operator expected");
  }
  Value Literal() {
    SkipBlanks();
    if (pos_ >= text_.size()) Fail("value expected");
    char c = text_[pos_];
    if (c == '\'') {
      std::string s;
      for (++pos_;; ++pos_) {
        if (pos_ >= text_.size()) Fail("unterminated text");
        if (text_[pos_] == '\'') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
            s.push_back('\'');
            ++pos_;
            continue;
          }
          ++pos_;
          return Value(std::move(s));
        }
        s.push_back(text_[pos_]);
      }
    }
    if (c == '#') {
      std::size_t close = text_.find('#', pos_ + 1);
      if (close == std::string_view::npos) Fail("missing '#'");
      // Only the ISO form: "#01/02/2024#" reads differently by convention.
      DateTime date;
      if (!TryParseIsoDate(text_.substr(pos_ + 1, close - pos_ - 1), &date)) {
        Fail("invalid date (write #yyyy-mm-dd#)");
      }
      pos_ = close + 1;
      return Value(date);
    }
    if (Keyword("NULL")) return Value(Null{});
    std::size_t start = pos_;
    while (pos_ < text_.size() && (std::isdigit(static_cast<unsigned char>(text_[pos_])) ||
                                   text_[pos_] == '.' || text_[pos_] == '-' || text_[pos_] == '+' ||
                                   text_[pos_] == 'E' || text_[pos_] == 'e')) {
      ++pos_;
    }
    Decimal number;
    if (start == pos_ || !Decimal::TryParse(text_.substr(start, pos_ - start), &number)) {
      pos_ = start;
      Fail("value expected");
    }
    return Value(number);
  }
};

bool Matches(const Criterion& c, const std::vector<Value>& row) {
  switch (c.op) {
    case Criterion::Op::kAnd:
      return std::all_of(c.children.begin(), c.children.end(),
                         [&](const Criterion& k) { return Matches(k, row); });
    case Criterion::Op::kOr:
      return std::any_of(c.children.begin(), c.children.end(),
                         [&](const Criterion& k) { return Matches(k, row); });
    case Criterion::Op::kEq:
    case Criterion::Op::kNe:
    case Criterion::Op::kLt:
    case Criterion::Op::kGt:
    case Criterion::Op::kLe:
    case Criterion::Op::kGe:
    case Criterion::Op::kLike:
      break;
  }
  const Value& v = row[static_cast<std::size_t>(c.field)];
  bool missing = v.is_null() || v.is_empty();
  // "= NULL" and "<> NULL" test for a missing value, as the platform's filters do.
  if (c.literal.is_null()) {
    if (c.op == Criterion::Op::kEq) return missing;
    if (c.op == Criterion::Op::kNe) return !missing;
    return false;
  }
  if (missing) return false;
  if (c.op == Criterion::Op::kLike) {
    try {
      return Like(v.ToText(), c.literal.ToText());
    } catch (const ConversionError&) {
      return false;
    }
  }
  int cmp = CompareValues(v, c.literal);
  switch (c.op) {
    case Criterion::Op::kEq:
      return cmp == 0;
    case Criterion::Op::kNe:
      return cmp != 0;
    case Criterion::Op::kLt:
      return cmp < 0;
    case Criterion::Op::kGt:
      return cmp > 0;
    case Criterion::Op::kLe:
      return cmp <= 0;
    case Criterion::Op::kGe:
      return cmp >= 0;
    case Criterion::Op::kLike:
    case Criterion::Op::kAnd:
    case Criterion::Op::kOr:
      break;
  }
  return false;
}

}  // namespace

Recordset::Recordset() : data_(std::make_shared<Data>()) {}

Recordset::Recordset(std::vector<FieldInfo> fields, std::vector<std::vector<Value>> rows)
    : data_(std::make_shared<Data>()), open_(true) {
  data_->fields = std::move(fields);
  data_->rows = std::move(rows);
  for (std::size_t i = 0; i < data_->fields.size(); ++i) {
    // The first of two same-named fields wins, as a lookup by name does on the platform.
    data_->index.emplace(data_->fields[i].name, static_cast<int>(i));
  }
  Rebuild();
}

void Recordset::close() {
  open_ = false;
  view_.clear();
  position_ = 0;
}

const std::vector<FieldInfo>& Recordset::fields() const { return data_->fields; }

int Recordset::field_index(std::string_view name) const {
  auto it = data_->index.find(name);
  return it == data_->index.end() ? -1 : it->second;
}

bool Recordset::eof() const { return position_ >= view_.size(); }
bool Recordset::bof() const { return view_.empty(); }
void Recordset::move_first() { position_ = 0; }
void Recordset::move_next() {
  if (position_ < view_.size()) ++position_;
}
void Recordset::move_last() { position_ = view_.empty() ? 0 : view_.size() - 1; }
std::size_t Recordset::record_count() const { return view_.size(); }

const std::vector<Value>& Recordset::Current() const {
  if (!open_) throw DataError("recordset: the recordset is closed");
  if (eof()) throw DataError("recordset: no current record (end of file)");
  return data_->rows[view_[position_]];
}

const Value& Recordset::operator[](std::string_view name) const {
  int index = field_index(name);
  if (index < 0) throw DataError(fmt::format("recordset: no field named '{}'", name));
  return Current()[static_cast<std::size_t>(index)];
}

const Value& Recordset::at(std::size_t field) const {
  const auto& row = Current();
  if (field >= row.size()) throw DataError(fmt::format("recordset: no field number {}", field));
  return row[field];
}

void Recordset::set(std::string_view name, Value value) {
  int index = field_index(name);
  if (index < 0) throw DataError(fmt::format("recordset: no field named '{}'", name));
  Current();  // checks there is a current record
  data_->rows[view_[position_]][static_cast<std::size_t>(index)] = std::move(value);
}

void Recordset::add_new() {
  if (!open_) throw DataError("recordset: the recordset is closed");
  data_->rows.emplace_back(data_->fields.size());
  // A new record stays visible whatever the filter, until the filter is set again.
  view_.push_back(data_->rows.size() - 1);
  position_ = view_.size() - 1;
}

void Recordset::filter(std::string_view criteria) {
  filter_ = std::string(criteria);
  Rebuild();
}

void Recordset::sort(std::string_view order) {
  sort_ = std::string(order);
  Rebuild();
}

Recordset Recordset::clone() const {
  Recordset copy;
  copy.data_ = data_;
  copy.open_ = open_;
  copy.Rebuild();
  return copy;
}

void Recordset::Rebuild() {
  view_.clear();
  position_ = 0;
  std::optional<Criterion> criterion;
  std::string_view trimmed = filter_;
  while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) {
    trimmed.remove_suffix(1);
  }
  if (!trimmed.empty()) criterion = CriteriaParser(filter_, *this).Parse();
  for (std::size_t i = 0; i < data_->rows.size(); ++i) {
    if (!criterion || Matches(*criterion, data_->rows[i])) view_.push_back(i);
  }
  if (sort_.find_first_not_of(" \t") == std::string::npos) return;

  struct Key {
    int field;
    bool descending;
  };
  std::vector<Key> keys;
  std::size_t start = 0;
  while (start <= sort_.size()) {
    std::size_t comma = sort_.find(',', start);
    std::string part = sort_.substr(start, comma == std::string::npos ? std::string::npos
                                                                        : comma - start);
    start = comma == std::string::npos ? sort_.size() + 1 : comma + 1;
    std::vector<std::string> words;
    std::string word;
    for (char ch : part + " ") {
      if (std::isspace(static_cast<unsigned char>(ch))) {
        if (!word.empty()) words.push_back(std::move(word));
        word.clear();
      } else {
        word.push_back(ch);
      }
    }
    if (words.empty() || words.size() > 2) {
      throw DataError(fmt::format("sort \"{}\": expected '<field> [ASC|DESC]'", sort_));
    }
    std::string name = words[0];
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') {
      name = name.substr(1, name.size() - 2);
    }
    int index = field_index(name);
    if (index < 0) throw DataError(fmt::format("sort \"{}\": unknown field '{}'", sort_, name));
    bool descending = false;
    if (words.size() == 2) {
      std::string dir = FoldCase(words[1]);
      if (dir == "desc") {
        descending = true;
      } else if (dir != "asc") {
        throw DataError(fmt::format("sort \"{}\": expected ASC or DESC, not '{}'", sort_, words[1]));
      }
    }
    keys.push_back({index, descending});
  }
  const auto& rows = data_->rows;
  std::stable_sort(view_.begin(), view_.end(), [&](std::size_t a, std::size_t b) {
    for (const Key& k : keys) {
      int c = CompareValues(rows[a][static_cast<std::size_t>(k.field)],
                            rows[b][static_cast<std::size_t>(k.field)]);
      if (c != 0) return k.descending ? c > 0 : c < 0;
    }
    return false;
  });
}

}  // namespace zodadovez
