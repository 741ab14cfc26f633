// The results and anomaly files of a configuration run: the dated log folder, the headers and
// the fixed-width lines.
#include "module/engine/reports.h"

#include <fmt/format.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// The platform's numbers for a folder that cannot be made and a file that cannot be opened or
// written.
constexpr long kPathNotFound = 76;
constexpr long kFileAccess = 75;

constexpr int kResultWidth = 10;
constexpr int kTableWidth = 30;
constexpr int kResultTextWidth = 256;
constexpr int kRowWidth = 10;
constexpr int kOperationWidth = 50;
constexpr int kNumberWidth = 20;
constexpr int kAnomalyTextWidth = 256;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The text cut to `width` characters (UTF-8 code points, so that a letter is never split) and
// the number of characters kept. Line breaks become blanks: every message is one line.
std::string Cut(std::string_view text, int width, int* kept) {
  std::string out;
  int count = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t next = i + 1;
    while (next < text.size() && IsContinuationByte(text[next])) ++next;
    if (count == width) break;
    if (text[i] == '\r' || text[i] == '\n') {
      out += ' ';
    } else {
      out.append(text.substr(i, next - i));
    }
    ++count;
    i = next;
  }
  *kept = count;
  return out;
}

std::string Left(std::string_view text, int width) {
  int kept = 0;
  std::string out = Cut(text, width, &kept);
  out.append(static_cast<std::size_t>(width - kept), ' ');
  return out;
}

std::string Right(std::string_view text, int width) {
  int kept = 0;
  std::string out = Cut(text, width, &kept);
  return std::string(static_cast<std::size_t>(width - kept), ' ') + out;
}

std::string Rule(std::initializer_list<int> widths) {
  std::string out;
  for (int width : widths) {
    if (!out.empty()) out += ' ';
    out.append(static_cast<std::size_t>(width), '_');
  }
  return out;
}

std::string TwoDigits(unsigned value) { return fmt::format("{:02}", value); }

// The file's lines end in "\n" alone: the files are read on the machine that runs the import.
void WriteLine(ReportFile& file, std::string_view line) {
  file.stream << line << '\n';
  file.stream.flush();
  if (!file.stream) {
    throw Error(fmt::format("cannot write to \"{}\"", file.path), kFileAccess);
  }
}

// Creates the file anew and marks it open. Two configurations of one gym database (or two
// anomaly files of one company) run within the same second would get the same name: the later
// one gets "_2", "_3", ... before ".txt", so that no report overwrites another.
void Open(ReportFile& file, const std::string& wanted) {
  std::string path = wanted;
  for (int n = 2; std::filesystem::exists(path); ++n) {
    path = wanted.substr(0, wanted.size() - 4) + "_" + std::to_string(n) + ".txt";
  }
  file.stream = std::ofstream(path, std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file.stream) {
    std::error_code ec(errno, std::generic_category());
    throw Error(fmt::format("cannot create \"{}\": {}", path, ec.message()), kFileAccess);
  }
  file.path = path;
  file.open = true;
}

}  // namespace

LogFolder CartellaLog(ImportRun& run) {
  DateTime now = run.clock().Now();
  auto day = std::chrono::floor<std::chrono::days>(now);
  std::chrono::year_month_day ymd(day);
  std::chrono::hh_mm_ss time(now - day);
  // The date and time in their Italian short forms, made fit for a file name.
  std::string date =
      fmt::format("{}_{}_{:04}", TwoDigits(static_cast<unsigned>(ymd.day())),
                  TwoDigits(static_cast<unsigned>(ymd.month())), static_cast<int>(ymd.year()));
  LogFolder log;
  log.date = date;
  log.stamp =
      fmt::format("{}.{}.{}.{}", date, TwoDigits(static_cast<unsigned>(time.hours().count())),
                  TwoDigits(static_cast<unsigned>(time.minutes().count())),
                  TwoDigits(static_cast<unsigned>(time.seconds().count())));
  // A blank errors folder would put the log folder at the root of the file system. An anomaly
  // raised before any configuration is read (at the window's first activation) has no folder
  // yet: the anomaly route then writes it to the host log.
  if (RTrimNz(run.state.errors_folder).empty()) {
    throw Error("no errors folder (ZEV90_PATH_ERRORI) to write the log folder in", kPathNotFound);
  }
  log.folder = RTrimNz(run.state.errors_folder) + "/Log_" + date + "/";

  // Only the day's folder is made: a configured errors folder that does not exist is an error
  // of the configuration, not something to create.
  std::error_code ec;
  if (!std::filesystem::is_directory(log.folder, ec)) {
    ec.clear();
    std::filesystem::create_directory(log.folder, ec);
    std::error_code ignored;
    if (ec || !std::filesystem::is_directory(log.folder, ignored)) {
      throw Error(fmt::format("cannot create the log folder \"{}\": {}", log.folder,
                              ec ? ec.message() : "not a folder"),
                  kPathNotFound);
    }
  }
  return log;
}

std::string ResultLine(const std::string& result, const std::string& label,
                       const std::string& text) {
  return Left(result, kResultWidth) + ' ' + Left(label, kTableWidth) + ' ' +
         Left(text, kResultTextWidth);
}

std::string AnomalyLine(long row, const std::string& operation, long number,
                        const std::string& description) {
  return Right(row == 0 ? std::string() : std::to_string(row), kRowWidth) + ' ' +
         Left(operation, kOperationWidth) + ' ' +
         Left(number == 0 ? std::string() : std::to_string(number), kNumberWidth) + ' ' +
         Left(RTrimNz(description), kAnomalyTextWidth);
}

void ScriviRisultato(ImportRun& run) {
  ReportFile& file = run.state.results;
  if (!file.open) {
    LogFolder log = CartellaLog(run);
    Open(file, fmt::format("{}{}_{}_Risultati_{}.txt", log.folder, run.state.gym_database,
                           run.company, log.stamp));
    const std::string rule = Rule({kResultWidth, kTableWidth, kResultTextWidth});
    WriteLine(file, "Risultato Generazione Documenti");
    WriteLine(file, "");
    WriteLine(file, rule);
    WriteLine(file, ResultLine("Risultato", "Tabella", "Descrizione Errore"));
    WriteLine(file, rule);
  }
  // While the receipts are processed a message with a text is a rejection; the closing lines
  // of a configuration are results. A line without a label is a plain note.
  std::string result = "OK";
  if (run.state.result_label.empty()) {
    result.clear();
  } else if (!run.state.results_ok && !run.state.result_text.empty()) {
    result = "NO";
  }
  WriteLine(file, ResultLine(result, run.state.result_label, run.state.result_text));
  run.state.result_label.clear();
  run.state.result_text.clear();
}

void ScriviAnomalia(ImportRun& run) {
  ReportFile& file = run.state.anomalies;
  if (!file.open) {
    LogFolder log = CartellaLog(run);
    Open(file, fmt::format("{}{}_Errori_{}.txt", log.folder, run.company, log.stamp));
    const std::string rule = Rule({kRowWidth, kOperationWidth, kNumberWidth, kAnomalyTextWidth});
    WriteLine(file, "Elenco Anomalie Riscontrate");
    WriteLine(file, "");
    WriteLine(file, rule);
    WriteLine(file, Right("Riga", kRowWidth) + ' ' + Left("Operazione", kOperationWidth) + ' ' +
                        Left("Errore", kNumberWidth) + ' ' +
                        Left("Descrizione Errore", kAnomalyTextWidth));
    WriteLine(file, rule);
  }
  WriteLine(file, AnomalyLine(run.state.progress_counter, run.error.label, run.error.number,
                              run.error.description));
}

void ChiudiFile(ImportRun& run) {
  // Both files are closed even when the first fails; the first failure is reported.
  std::string failed;
  for (ReportFile* file : {&run.state.anomalies, &run.state.results}) {
    if (!file->open) continue;
    file->stream.close();
    file->open = false;
    if (file->stream.fail() && failed.empty()) failed = file->path;
  }
  if (!failed.empty()) throw Error(fmt::format("cannot close \"{}\"", failed), kFileAccess);
}

}  // namespace zodadovez
