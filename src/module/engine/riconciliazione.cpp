#include "module/engine/riconciliazione.h"

#include <fmt/format.h>

#include <chrono>
#include <map>
#include <set>
#include <tuple>

#include "module/common/errors.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"

namespace zodadovez {
namespace {

// Codes compare as the ERP's collation compares them: case and trailing blanks aside.
std::string Key(const std::string& code) { return FoldCase(RTrimNz(Value(code))); }

bool Blank(const Value& v) { return RTrimNz(v).empty(); }

std::int64_t Number(const Value& v) {
  try {
    return NzDec(v).ToInteger();
  } catch (const Error&) {
    return 0;
  }
}

int YearOf(const Value& date) {
  if (date.kind() != ValueKind::kDate) return 0;
  std::chrono::year_month_day ymd(std::chrono::floor<std::chrono::days>(date.as_date()));
  return static_cast<int>(ymd.year());
}

struct GymCompany {
  std::string section;        // ZEV01_SEZDOC
  std::string document_type;  // ZEV01_DOCUM_MG36
};

// The documents of the company, as the duplicate test and DO11_NUMDOCORIG find them.
struct Documents {
  std::set<std::tuple<std::int64_t, std::string, std::string, int>> numbered;  // number, section,
                                                                               // type, year
  std::set<std::pair<std::string, std::int64_t>> by_receipt_id;  // type, DO11_NUMDOCORIG
};

class Reconciler {
 public:
  Reconciler(Database& db, const ReconcileRequest& request) : db_(db), request_(request) {}

  ReconcileReport Run() {
    ledger_ = EsisteTabella(db_, "ZEV97_DOCUMENTI", "T");
    Recordset configurations = db_.open(fmt::format(
        "SELECT ZEV90_ID, ZEV90_DB_NAME, ZEV90_NOME_SERVER, ZEV90_CODIVA_CG28 FROM ZEV90_PARAMETRI "
        "WITH (NOLOCK) "
        "WHERE ZEV90_DITTA_CG18 = {} ORDER BY ZEV90_ID",
        request_.company));
    std::set<std::int64_t> seen;
    const std::string server = db_.server_name();
    for (; !configurations.eof(); configurations.move_next()) {
      const std::int64_t id = Number(configurations["ZEV90_ID"]);
      if (!request_.configs.empty() && !Requested(id)) continue;
      seen.insert(id);
      // The names the run driver would use, refused on the same grounds.
      const std::string label = "GYM_" + std::to_string(id);
      const std::string name = RTrimNz(configurations["ZEV90_DB_NAME"]);
      const bool linked = !TextEquals(RTrimNz(configurations["ZEV90_NOME_SERVER"]), server);
      if (!IsPlainSqlName(name) || (linked && !IsPlainSqlName(label))) {
        report_.skipped.push_back(fmt::format(
            "configuration {}: the gym database name '{}' is not a plain name", id, name));
        continue;
      }
      if (Blank(configurations["ZEV90_CODIVA_CG28"])) {
        report_.skipped.push_back(fmt::format(
            "configuration {}: no default VAT code (ZEV90_CODIVA_CG28), the import skips it", id));
        continue;
      }
      Configuration(id, linked ? label + "." + name : name);
    }
    for (std::int64_t id : request_.configs) {
      if (!seen.count(id)) {
        report_.skipped.push_back(fmt::format("configuration {}: not a configuration of company {}",
                                              id, request_.company));
      }
    }
    return std::move(report_);
  }

 private:
  bool Requested(std::int64_t id) const {
    for (std::int64_t wanted : request_.configs) {
      if (wanted == id) return true;
    }
    return false;
  }

  // " AND <column> >= '<from>' AND <column> < '<day after to>'" for the period.
  std::string Period(const std::string& column) const {
    std::string text;
    if (request_.from) {
      text += " AND " + column + " >= " + SqlQuote(db_.date_text(*request_.from));
    }
    if (request_.to) {
      DateTime next = std::chrono::floor<std::chrono::days>(*request_.to) + std::chrono::days(1);
      text += " AND " + column + " < " + SqlQuote(db_.date_text(next));
    }
    return text;
  }

  void Configuration(std::int64_t id, const std::string& gym) {
    // The gym companies whose receipts the selection takes: those with an account type.
    Recordset rs = db_.open(fmt::format(
        "SELECT ZEV91_IDAZIENDA, ZEV01_TIPOCONTO, ZEV01_SEZDOC, ZEV01_DOCUM_MG36 FROM ZEV91_DITTE "
        "WITH (NOLOCK) INNER JOIN ZEV01_AZIENDE WITH (NOLOCK) ON ZEV91_DITTA_VT = "
        "ZEV01_DITTA_CG18 AND ZEV91_IDPARAM_ZEV90 = ZEV01_IDPARAM_ZEV90 AND ZEV91_IDAZIENDA = "
        "ZEV01_AZIENDA WHERE ZEV91_DITTA_VT = {} AND ZEV91_IDPARAM_ZEV90 = {}",
        request_.company, id));
    std::map<std::int64_t, GymCompany> companies;
    std::string list;
    for (; !rs.eof(); rs.move_next()) {
      if (Blank(rs["ZEV01_TIPOCONTO"]) || Number(rs["ZEV01_TIPOCONTO"]) == 0) continue;
      const std::int64_t company = Number(rs["ZEV91_IDAZIENDA"]);
      companies[company] = {RTrimNz(rs["ZEV01_SEZDOC"]), RTrimNz(rs["ZEV01_DOCUM_MG36"])};
      list += (list.empty() ? "" : ", ") + std::to_string(company);
    }
    if (companies.empty()) {
      report_.skipped.push_back(fmt::format(
          "configuration {}: no gym company with its account type (ZEV01_TIPOCONTO) set", id));
      return;
    }

    Recordset receipts = db_.open(fmt::format(
        " SELECT RicevuteTestata.IDRicevuta, RicevuteTestata.IDRicevuteAzienda, "
        "RicevuteTestata.TipoRicevuta, RicevuteTestata.NumeroRicevuta, "
        "RicevuteTestata.DataRicevuta, ZEV02_DOCUM_MG36 FROM {0}.dbo.RicevuteTestata WITH "
        "(NOLOCK) INNER JOIN ZEV02_GYMVELTA WITH (NOLOCK) ON RicevuteTestata.TipoRicevuta = "
        "ZEV02_TIPORICEVUTA collate Latin1_General_CI_AS AND ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 AND "
        "ISNULL(ZEV02_ACCORPADOC, 0) = 0 AND ZEV02_DITTA_CG18 = {1} WHERE "
        "RicevuteTestata.IDRicevuteAzienda IN ({2}) AND RicevuteTestata.Annullata <> -1{3} "
        "ORDER BY RicevuteTestata.DataRicevuta, RicevuteTestata.IDRicevuteAzienda",
        gym, request_.company, list, Period("RicevuteTestata.DataRicevuta")));
    GroupedDays(id, gym, list);
    if (receipts.eof()) return;
    const std::map<std::int64_t, std::string> kits = HeldBack(gym);
    const Documents& documents = CompanyDocuments();

    for (; !receipts.eof(); receipts.move_next()) {
      ++report_.examined;
      LeftBehind r;
      r.configuration_id = id;
      r.gym_database = gym;
      r.receipt_id = Number(receipts["IDRicevuta"]);
      r.gym_company = Number(receipts["IDRicevuteAzienda"]);
      r.receipt_type = RTrimNz(receipts["TipoRicevuta"]);
      r.number = Number(receipts["NumeroRicevuta"]);
      r.date = receipts["DataRicevuta"];
      // The document type and section the receipt document procedure gives it.
      const GymCompany& settings = companies[r.gym_company];
      const std::string type_of_receipt = RTrimNz(receipts["ZEV02_DOCUM_MG36"]);
      r.document_type =
          Blank(Value(settings.document_type)) ? type_of_receipt : settings.document_type;
      r.section =
          Blank(Value(settings.section)) ? DefaultSection(type_of_receipt) : settings.section;
      const bool found =
          r.number != 0 ? documents.numbered.count(
                              {r.number, Key(r.section), Key(r.document_type), YearOf(r.date)}) > 0
                        : documents.by_receipt_id.count({Key(r.document_type), r.receipt_id}) > 0;
      if (found) continue;
      if (auto kit = kits.find(r.receipt_id); kit != kits.end()) {
        r.kind = LeftKind::kHeldBack;
        r.reason = "Kit non presente per l'articolo " + kit->second + ": trattenuta dall'import";
      } else if (auto rule = Discarded(id, r.receipt_id, Value(), ""); !rule.empty()) {
        r.kind = LeftKind::kDiscarded;
        r.reason = rule;
      } else if (!HasRowsToImport(gym, r.receipt_id)) {
        r.kind = LeftKind::kDiscarded;
        r.reason = "Nessuna riga da importare: scartata dall'import";
      } else {
        r.reason = "Nessun documento ERP";
      }
      report_.receipts.push_back(std::move(r));
    }
  }

  // The grouped days and sections of the period: each has one document, in the ledger or, when
  // stored before it, a document of its day, section, type and customer standing for no receipt.
  void GroupedDays(std::int64_t id, const std::string& gym, const std::string& list) {
    Recordset days = db_.open(fmt::format(
        "SELECT DISTINCT RicevuteTestata.DataRicevuta, ZEV01_SEZDOC, ZEV02_DOCUM_MG36, "
        "ZEV01_CLIFOR_CG44 FROM {0}.dbo.RicevuteTestata WITH (NOLOCK) INNER JOIN ZEV02_GYMVELTA "
        "WITH (NOLOCK) ON RicevuteTestata.TipoRicevuta = ZEV02_TIPORICEVUTA collate "
        "Latin1_General_CI_AS AND ISNULL(ZEV02_TRAS_IN_VT, 0) = 1 AND ISNULL(ZEV02_ACCORPADOC, 0) "
        "= 1 AND ZEV02_DITTA_CG18 = {1} INNER JOIN ZEV01_AZIENDE WITH (NOLOCK) ON "
        "ZEV01_DITTA_CG18 = {1} AND ZEV01_IDPARAM_ZEV90 = {2} AND ZEV01_AZIENDA = "
        "RicevuteTestata.IDRicevuteAzienda INNER JOIN {0}.dbo.RicevuteRiga WITH (NOLOCK) ON "
        "RicevuteRiga.IDRicevuta = RicevuteTestata.IDRicevuta INNER JOIN {0}.dbo.CassaMovimenti "
        "WITH (NOLOCK) ON RicevuteRiga.IDCassaMovimento = CassaMovimenti.IDCassaMovimento INNER "
        "JOIN ZEV03_TIPISERVIZI WITH (NOLOCK) ON CassaMovimenti.TipoServizio = ZEV03_TIPOSERVIZIO "
        "collate Latin1_General_CI_AS AND ZEV03_DITTA_CG18 = {1} WHERE "
        "RicevuteTestata.IDRicevuteAzienda IN ({3}) AND RicevuteTestata.Annullata <> -1 AND "
        "ZEV03_FLGIMPORTA = 1 AND RicevuteRiga.PrezzoUnitario <> 0{4} ORDER BY "
        "RicevuteTestata.DataRicevuta, ZEV01_SEZDOC",
        gym, request_.company, id, list, Period("RicevuteTestata.DataRicevuta")));
    for (; !days.eof(); days.move_next()) {
      const Value day = days["DataRicevuta"];
      if (day.kind() != ValueKind::kDate) continue;
      ++report_.examined_days;
      LeftBehind r;
      r.configuration_id = id;
      r.gym_database = gym;
      r.grouped_day = true;
      r.date = day;
      r.section = RTrimNz(days["ZEV01_SEZDOC"]);
      r.document_type = RTrimNz(days["ZEV02_DOCUM_MG36"]);
      if (StoredDay(id, day, r.section)) continue;
      if (HasGroupedDocument(day, r.section, r.document_type, days["ZEV01_CLIFOR_CG44"])) {
        continue;
      }
      if (auto rule = Discarded(id, 0, day, r.section); !rule.empty()) {
        r.kind = LeftKind::kDiscarded;
        r.reason = rule;
      } else {
        r.reason = "Nessun documento ERP per il giorno accorpato";
      }
      report_.receipts.push_back(std::move(r));
    }
  }

  // The ledger's reason when the import's last word on the receipt (or day) was a discard.
  std::string Discarded(std::int64_t id, std::int64_t receipt, const Value& day,
                        const std::string& section) {
    if (!ledger_) return std::string();
    const std::string key =
        receipt != 0 ? fmt::format("ZEV97_IDRICEVUTA = {}", receipt)
                     : fmt::format("ZEV97_GIORNO = {} AND ZEV97_SEZDOC = {}",
                                   SqlQuote(db_.date_text(day.as_date())), SqlQuote(section));
    Recordset rs = db_.open(fmt::format(
        "SELECT TOP 1 ZEV97_ESITO, ZEV97_MOTIVO FROM ZEV97_DOCUMENTI WITH (NOLOCK) WHERE "
        "ZEV97_DITTA_CG18 = {} AND ZEV97_IDPARAM_ZEV90 = {} AND {} ORDER BY ZEV97_ID DESC",
        request_.company, id, key));
    if (rs.eof() || Number(rs["ZEV97_ESITO"]) != 1) return std::string();
    return "Scartata dall'import: " + RTrimNz(rs["ZEV97_MOTIVO"]);
  }

  bool StoredDay(std::int64_t id, const Value& day, const std::string& section) {
    if (!ledger_) return false;
    Recordset rs = db_.open(fmt::format(
        "SELECT TOP 1 ZEV97_ID FROM ZEV97_DOCUMENTI WITH (NOLOCK) WHERE ZEV97_DITTA_CG18 = {} AND "
        "ZEV97_IDPARAM_ZEV90 = {} AND ZEV97_GIORNO = {} AND ZEV97_SEZDOC = {} AND "
        "ISNULL(ZEV97_ESITO, 0) = 0",
        request_.company, id, SqlQuote(db_.date_text(day.as_date())), SqlQuote(section)));
    return !rs.eof();
  }

  bool HasGroupedDocument(const Value& day, const std::string& section,
                          const std::string& document_type, const Value& customer) {
    Recordset rs = db_.open(fmt::format(
        "SELECT TOP 1 DO11_NUMREG_CO99 FROM DO11_DOCTESTATA WITH (NOLOCK) WHERE DO11_DITTA_CG18 = "
        "{} AND DO11_DATADOC = {} AND DO11_SEZDOC = {} AND DO11_DOCUM_MG36 = {} AND "
        "DO11_CLIFOR_CG44 = {} AND DO11_NUMDOCORIG IS NULL",
        request_.company, SqlQuote(db_.date_text(day.as_date())), SqlQuote(section),
        SqlQuote(document_type), Number(customer)));
    return !rs.eof();
  }

  // The receipts of the period with a kit product whose bill of materials is missing, and that
  // product's code: the checks before the receipt loop hold them back.
  std::map<std::int64_t, std::string> HeldBack(const std::string& gym) {
    Recordset sales = db_.open(fmt::format(
        "SELECT DISTINCT RR.IDRicevuta, BP.Codice FROM {0}.dbo.RicevuteRiga AS RR WITH (NOLOCK) "
        "INNER JOIN {0}.dbo.RicevuteTestata AS RT WITH (NOLOCK) ON RR.IDRicevuta = RT.IDRicevuta "
        "INNER JOIN {0}.dbo.CassaMovimenti AS CM WITH (NOLOCK) ON RR.IDCassaMovimento = "
        "CM.IDCassaMovimento INNER JOIN {0}.dbo.BarMovimenti AS BR WITH (NOLOCK) ON "
        "CM.IDIscrizione = BR.IDBarTotale LEFT OUTER JOIN {0}.dbo.BarProdotti AS BP WITH (NOLOCK) "
        "ON BR.IDProdotto = BP.IDProdotto LEFT OUTER JOIN {0}.dbo.BarProdottiCategoria AS BPC "
        "WITH (NOLOCK) ON BPC.IDProdottoCategoria = BP.IDProdottoCategoria INNER JOIN "
        "ZEV03_TIPISERVIZI AS TIPOSERV WITH (NOLOCK) ON CM.TipoServizio = ZEV03_TIPOSERVIZIO "
        "collate Latin1_General_CI_AS WHERE TIPOSERV.ZEV03_INDTIPOSERV = 3 AND "
        "TIPOSERV.ZEV03_DITTA_CG18 = {1} AND UPPER(BPC.Descrizione) = 'KIT'{2}",
        gym, request_.company, Period("RT.DataRicevuta")));
    std::map<std::int64_t, std::string> held;
    for (; !sales.eof(); sales.move_next()) {
      const std::string code = Nz(sales["Codice"], "").ToText();
      if (!HasBill(code)) held.emplace(Number(sales["IDRicevuta"]), code);
    }
    return held;
  }

  bool HasBill(const std::string& code) {
    auto [it, inserted] = bills_.emplace(code, false);
    if (inserted) {
      Recordset rs = db_.open(fmt::format(
          "SELECT PD95_CODART_MG66 FROM PD95_DISBA WITH (NOLOCK) WHERE PD95_DITTA_CG18 = {} AND "
          "PD95_CODART_MG66 = {} AND PD95_TIPO_DISTINTA = 50",
          request_.company, SqlQuote(code)));
      it->second = !rs.eof();
    }
    return it->second;
  }

  // Whether the receipt has a row of a service type that is imported: without one the
  // receipt document procedure rejects it.
  bool HasRowsToImport(const std::string& gym, std::int64_t receipt) {
    Recordset rs = db_.open(fmt::format(
        "SELECT COUNT(*) AS RIGHE FROM {0}.dbo.RicevuteRiga WITH (NOLOCK) INNER JOIN "
        "{0}.dbo.CassaMovimenti WITH (NOLOCK) ON RicevuteRiga.IDCassaMovimento = "
        "CassaMovimenti.IDCassaMovimento INNER JOIN ZEV03_TIPISERVIZI WITH (NOLOCK) ON "
        "CassaMovimenti.TipoServizio = ZEV03_TIPOSERVIZIO collate Latin1_General_CI_AS AND "
        "ZEV03_DITTA_CG18 = {1} WHERE RicevuteRiga.IDRicevuta = {2} AND ZEV03_FLGIMPORTA = 1",
        gym, request_.company, receipt));
    return !rs.eof() && Number(rs["RIGHE"]) > 0;
  }

  std::string DefaultSection(const std::string& document_type) {
    auto [it, inserted] = sections_.emplace(Key(document_type), std::string());
    if (inserted) {
      Recordset rs = db_.open(fmt::format(
          "SELECT TOP 1 MG3G_SEZDEFAULT FROM MG3G_DOCDITTA WITH (NOLOCK) WHERE MG3G_DITTA_CG18 = "
          "{} AND MG3G_CODDOCUM_MG36 = {}",
          request_.company, SqlQuote(document_type)));
      if (!rs.eof()) it->second = RTrimNz(rs["MG3G_SEZDEFAULT"]);
    }
    return it->second;
  }

  const Documents& CompanyDocuments() {
    if (documents_) return *documents_;
    documents_.emplace();
    std::string years;
    if (request_.from) years += fmt::format(" AND DO11_ANNODOC >= {}", YearOf(*request_.from));
    if (request_.to) years += fmt::format(" AND DO11_ANNODOC <= {}", YearOf(*request_.to));
    Recordset rs = db_.open(fmt::format(
        "SELECT DO11_NUMDOC, DO11_SEZDOC, DO11_DOCUM_MG36, DO11_ANNODOC, DO11_NUMDOCORIG FROM "
        "DO11_DOCTESTATA WITH (NOLOCK) WHERE DO11_DITTA_CG18 = {}{}",
        request_.company, years));
    for (; !rs.eof(); rs.move_next()) {
      const std::string type = Key(RTrimNz(rs["DO11_DOCUM_MG36"]));
      documents_->numbered.emplace(Number(rs["DO11_NUMDOC"]), Key(RTrimNz(rs["DO11_SEZDOC"])), type,
                                   static_cast<int>(Number(rs["DO11_ANNODOC"])));
      if (!Blank(rs["DO11_NUMDOCORIG"])) {
        documents_->by_receipt_id.emplace(type, Number(rs["DO11_NUMDOCORIG"]));
      }
    }
    return *documents_;
  }

  Database& db_;
  const ReconcileRequest& request_;
  ReconcileReport report_;
  std::map<std::string, bool> bills_;
  std::map<std::string, std::string> sections_;
  std::optional<Documents> documents_;
  bool ledger_ = false;
};

}  // namespace

ReconcileReport Reconcile(Database& db, const ReconcileRequest& request) {
  return Reconciler(db, request).Run();
}

}  // namespace zodadovez
