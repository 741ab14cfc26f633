// Service-to-article coding: reads the gym catalogues of a sold service and leaves the ERP
// article code, description and classification in the article coding fields.
#include "module/articles/codifica.h"

#include <cstddef>
#include <exception>
#include <string>
#include <string_view>

#include "module/articles/articoli.h"
#include "module/articles/classificazione.h"
#include "module/articles/listini.h"
#include "module/common/database.h"
#include "module/common/mdlzev_zodadovez.h"
#include "module/common/sql_text.h"
#include "module/common/text_compare.h"
#include "module/engine/import_run.h"

namespace zodadovez {
namespace {

// Nz(value, "") as text: "" for Empty, Null and blanks, else the value's own text.
std::string Text(const Value& value) { return Nz(value).ToText(); }

// The platform's Trim: spaces only, not tabs or line breaks.
std::string Trim(std::string_view s) {
  const std::size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return std::string();
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

// The first `n` characters (UTF-8 code points, so a letter is never split).
std::string Left(std::string_view text, std::size_t n) {
  std::size_t end = 0;
  for (std::size_t count = 0; end < text.size() && count < n; ++count) {
    ++end;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  }
  return std::string(text.substr(0, end));
}

std::string SelectSubscription(const std::string& gym, std::int32_t enrolment) {
  return " select distinct M.idMacroCategoria As CodMacroCateg, M.descrizione as "
         "DescMacroCateg,   G.idcategoria AS CodCateg, G.descrizione as DescCateg,  "
         "ABB.idabbonamento As CodAbb, ABB.descrizione as DescAbb,   D.iddurata as CodDurata, "
         "D.durata as Durata, D.periodo as Periodo  FROM  " +
         gym + ".dbo.AbbonamentiIscrizione as I With (NOLOCK)  left outer join " + gym +
         ".dbo.AbbonamentiDurata as D  With (NOLOCK)      on I.iddurata=D.iddurata  "
         "left outer join " +
         gym +
         ".dbo.Abbonamenti as B  With (NOLOCK)      on D.idabbonamento=B.idabbonamento  "
         "left outer join " +
         gym +
         ".dbo.AbbonamentiCategorie as G  With (NOLOCK)      on B.idcategoria=G.idcategoria  "
         "left outer join " +
         gym +
         ".dbo.AbbonamentiMacroCategorie as M  With (NOLOCK)      "
         "on G.idmacrocategoria=M.idmacrocategoria  left outer join " +
         gym +
         ".dbo.Abbonamenti as ABB  With (NOLOCK)      on D.idabbonamento=ABB.idabbonamento  "
         "where I.Idiscrizione = " +
         std::to_string(enrolment);
}

std::string SelectAgendaService(const std::string& gym, std::int32_t enrolment) {
  return " select distinct  S.IDA2Servizio as CodMarca, S.descrizioneservizio as DescMarca "
         "from " +
         gym + ".dbo.A2Iscrizioni as ISC   left outer join " + gym +
         ".dbo.A2Appuntamenti as P on ISC.IDA2Appuntamento=P.IDA2Appuntamento  "
         "left outer join " +
         gym + ".dbo.A2Impegni as I on P.IDA2Impegno=I.IDA2Impegno  left outer join " + gym +
         ".dbo.A2Servizi as S on I.IDA2Servizio=S.IDA2Servizio  left outer join " + gym +
         ".dbo.A2ServiziCategorie as SC on S.ida2servizicategoria=SC.ida2servizicategoria  "
         "where  IDA2Iscrizione = " +
         std::to_string(enrolment);
}

std::string SelectTicket(const std::string& gym, const std::string& ticket_type,
                         std::int32_t till_movement) {
  return " select K.IDTicket as CodTicket, K.Descrizione  as DescTicket  from " + gym +
         ".dbo.CassaMovimenti as C   left outer join " + gym +
         ".dbo.CentriRicavoMovimenti as RIC on C.idcassamovimento=RIC.idcassamovimento  "
         "left outer join " +
         gym + ".dbo.TicketEmessi as TE on RIC.IDTicketEmessi=TE.ID  left outer join " + gym +
         ".dbo.Ticket as K on TE.IDTicket=K.IDTicket  left outer join " + gym +
         ".dbo.TicketCategorie as TC on K.IDTicketCategoria=TC.IDTicketCategoria  "
         "where tiposervizio=" +
         SqlQuote(ticket_type) + " and C.idcassamovimento = " + std::to_string(till_movement);
}

std::string SelectBarProduct(const std::string& gym, std::int32_t bar_total) {
  return "select BP.Codice, BP.Descrizione, BPC.Descrizione As Tipo from " + gym +
         ".dbo.BarMovimenti AS BR WITH (NOLOCK) left outer join " + gym +
         ".dbo.BarProdotti AS BP WITH (NOLOCK) on BR.IDProdotto = BP.IDProdotto "
         "left outer join " +
         gym +
         ".dbo.BarProdottiCategoria as BPC WITH (NOLOCK) "
         "on BPC.IDProdottoCategoria = BP.IDProdottoCategoria where IDBarTotale = " +
         std::to_string(bar_total);
}

// Every bar product with a code sold after `since` in a receipt of the company's gym
// companies. The date bound is the same whatever the processing mode: a reprocessed range
// older than the last import finds its articles already there.
std::string SelectSoldBarProducts(const std::string& gym, int company, const std::string& since) {
  const std::string ditta = std::to_string(company);
  return "SELECT distinct BP.Codice, BP.Descrizione, BPC.Descrizione As Tipo, BP.Prezzo,  "
         "BP.IDProdottoCategoria AS CodCatProd,  BPC.IDMacroCategoriaProdotto As CodMacro, "
         "BPM.Descrizione As DescrMacro,  TIPOSERV.ZEV03_INDTIPOSERV, TIPOSERV.ZEV03_DESCR, "
         "TIPOSERV.ZEV03_FLGCOIN    from " +
         gym + ".dbo.RicevuteRiga As RR WITH (NOLOCK)   inner join " + gym +
         ".dbo.RicevuteTestata as RT WITH (NOLOCK)      on RR.IDRicevuta = RT.IDRicevuta  "
         "Inner join " +
         gym +
         ".dbo.CassaMovimenti AS CM With (NOLOCK)      "
         "ON RR.IDCassaMovimento = CM.IDCassaMovimento  Inner join " +
         gym +
         ".dbo.BarMovimenti AS BR With (NOLOCK)     on CM.IDIscrizione = BR.IDBarTotale  "
         "left outer join " +
         gym +
         ".dbo.BarProdotti AS BP With (NOLOCK)     on BR.IDProdotto = BP.IDProdotto  "
         "left outer join " +
         gym +
         ".dbo.BarProdottiCategoria as BPC With (NOLOCK)     "
         "on BPC.IDProdottoCategoria = BP.IDProdottoCategoria  left outer join " +
         gym +
         ".dbo.BarMacroCategorieProdotti as BPM With (NOLOCK)          "
         "on BPC.IDMacroCategoriaProdotto = BPM.IDMacroCategoriaProdotto "
         "INNER JOIN ZEV03_TIPISERVIZI AS TIPOSERV WITH (NOLOCK)      "
         "ON CM.TipoServizio = ZEV03_TIPOSERVIZIO  collate Latin1_General_CI_AS        "
         "Where TIPOSERV.ZEV03_INDTIPOSERV = 3 AND TIPOSERV.ZEV03_DITTA_CG18 = " +
         ditta + " and DataRicevuta > '" + since +
         "' and ISNULL(BP.CODICE, '') <> '' And RT.IDRicevuteAzienda IN "
         "(SELECT ZEV91_IDAZIENDA FROM ZEV91_DITTE WITH (NOLOCK) WHERE ZEV91_DITTA_VT = " +
         ditta + ")";
}

}  // namespace

void CodificaArticolo_Abb(ImportRun& run, std::int32_t enrolment) {
  RowFields& row = run.document.row;
  try {
    run.state.abort = 0;
    Recordset rs = run.db().open(SelectSubscription(run.state.gym_database, enrolment));
    if (rs.eof()) return;
    const std::string macro_description = Text(rs["DescMacroCateg"]);
    const std::string subscription_description = Text(rs["DescAbb"]);

    const std::string subfamily = PadLeft(rs["CodMacroCateg"], 4);
    row.subfamily_code = subfamily;
    VerificaSFamiglia(run, subfamily, macro_description);

    const std::string group = PadLeft(rs["CodCateg"], 4);
    row.group_code = group;
    VerificaGruppo(run, group, Text(rs["DescCateg"]));

    const std::string letter = Left(row.service_type, 1);
    const std::string subscription = PadLeft(rs["CodAbb"], 6);
    const std::string brand = letter + subscription;
    row.brand_code = brand;
    row.brand_description = subscription_description;
    VerificaMarca(run, brand, subscription_description);

    const std::string duration = PadLeft(rs["Durata"], 3);
    row.stat_group1 = duration;
    VerificaGruppoStat(run, duration, "1");
    const std::string period = Text(rs["Periodo"]);
    row.stat_group2 = period;
    VerificaGruppoStat(run, period, "2");

    // The group enters the code with its first three digits only; the project is the
    // subscription without its duration and period, shared by all its durations.
    const std::string code =
        letter + "-" + Left(subfamily, 4) + "-" + Left(group, 3) + "-" + Left(subscription, 6);
    row.project_code = code;
    row.article_code = code + "-" + Left(duration, 3) + "-" + Left(period, 1);
    // The article writer appends the duration and the period.
    row.article_description = RTrimNz(Value(row.family_description)) + " " +
                              RTrimNz(Value(macro_description)) + " " +
                              RTrimNz(Value(subscription_description));
  } catch (const std::exception& e) {
    run.RecordError("CodificaArticolo_Abb", e);
  }
}

void CodificaArticolo_Agenda(ImportRun& run, std::int32_t enrolment) {
  RowFields& row = run.document.row;
  try {
    run.state.abort = 0;
    Recordset rs = run.db().open(SelectAgendaService(run.state.gym_database, enrolment));
    if (rs.eof()) return;
    const std::string service = PadLeft(rs["CodMarca"], 6);
    // The brand carries the whole service type, the article code only its first letter.
    const std::string brand = Trim(row.service_type) + service;
    const std::string description = Text(rs["DescMarca"]);
    row.brand_code = brand;
    row.brand_description = description;
    VerificaMarca(run, brand, description);
    row.article_code = Left(row.service_type, 1) + "-" + Left(service, 6);
    row.article_description = description;
  } catch (const std::exception& e) {
    run.RecordError("CodificaArticolo_Agenda", e);
  }
}

void CodificaArticolo_Ticket(ImportRun& run, std::int32_t till_movement) {
  RowFields& row = run.document.row;
  try {
    run.state.abort = 0;
    Recordset rs =
        run.db().open(SelectTicket(run.state.gym_database, run.service_type_ticket, till_movement));
    if (rs.eof()) return;
    const std::string ticket = PadLeft(rs["CodTicket"], 6);
    const std::string brand = Trim(row.service_type) + ticket;
    const std::string description = Text(rs["DescTicket"]);
    row.brand_code = brand;
    row.brand_description = description;
    row.article_description = description;
    VerificaMarca(run, brand, description);
    row.article_code = Left(row.service_type, 1) + "-" + Left(ticket, 6);
  } catch (const std::exception& e) {
    run.RecordError("CodificaArticolo_Ticket", e);
  }
}

void Search_Articolo(ImportRun& run, std::int32_t bar_total) {
  RowFields& row = run.document.row;
  try {
    row.article_found = false;
    row.article_code.clear();
    row.article_kind.clear();
    Recordset rs = run.db().open(SelectBarProduct(run.state.gym_database, bar_total));
    if (!rs.eof()) {
      row.article_kind = Text(rs["Tipo"]);
      if (UpperCase(Trim(row.article_kind)) == "KIT") {
        // Kit articles are the ERP's own bills of materials, known by the bare product code.
        row.article_code = Text(rs["Codice"]);
      } else {
        row.article_code =
            Nz(Value(Left(row.service_type, 1)), Value("V")).ToText() + "-" + Text(rs["Codice"]);
      }
    }
    if (!Trim(row.article_code).empty()) {
      const std::string code = row.article_code;
      Leggi_Articolo(run, code);
    }
  } catch (const std::exception& e) {
    run.RecordError("Search_Articolo", e);
  }
}

void Leggi_Articolo(ImportRun& run, const std::string& code) {
  RowFields& row = run.document.row;
  try {
    row.article_found = false;
    Recordset rs = run.db().open(
        "SELECT CG28_PERCIVA, MG66_ALIVA_CG28 FROM MG66_ANAGRART WITH (NOLOCK)  "
        "LEFT OUTER JOIN CG28_TABCODIVA WITH (NOLOCK) ON MG66_ALIVA_CG28 = CG28_CODICE "
        "WHERE MG66_DITTA_CG18 = " +
        std::to_string(run.company) + " AND MG66_CODART = " + SqlQuote(code));
    if (rs.eof()) return;
    row.article_found = true;
    row.article_vat_rate = NzDec(rs["CG28_PERCIVA"]).ToDecimal();
  } catch (const std::exception& e) {
    run.RecordError("Leggi_Articolo", e);
  }
}

void Check_Articoli(ImportRun& run) {
  RowFields& row = run.document.row;
  try {
    const std::string sql = SelectSoldBarProducts(run.state.gym_database, run.company,
                                                  SqlEscape(run.DateDB(run.last_imported_date)));
    run.state.abort = 0;
    row.service_type = Nz(Value(run.service_type_bar), Value("V")).ToText();
    row.subfamily_code.clear();
    row.group_code.clear();
    row.brand_code.clear();
    row.brand_description.clear();
    row.stat_group1.clear();
    row.stat_group2.clear();
    row.article_code.clear();
    row.project_code.clear();
    row.article_description.clear();
    row.family_description.clear();

    Recordset rs = run.db().open(sql);
    for (; !rs.eof(); rs.move_next()) {
      const std::string code = Left(row.service_type, 1) + "-" + Text(rs["Codice"]);
      const double price = NzDec(rs["Prezzo"]).ToDouble();
      // Kit articles come from the ERP's bills of materials and are never made here. The
      // comparison is exact: a category written "Kit" is an ordinary product.
      const std::string kind = Text(rs["Tipo"]);
      if (kind == "KIT") continue;

      row.family_description = Nz(rs["ZEV03_DESCR"], Value("VENDITE")).ToText();

      const std::string subfamily = PadLeft(Nz(rs["CodMacro"], Value("0")), 3);
      row.subfamily_code = subfamily;
      VerificaSFamiglia(run, subfamily, Text(rs["DescrMacro"]));

      const std::string group = PadLeft(Nz(rs["CodCatProd"], Value("0")), 3);
      row.group_code = group;
      VerificaGruppo(run, group, kind);

      // New bar articles take the company's VAT code for articles, not a receipt's.
      row.vat_code = run.company_parameters.article_vat_code;
      row.article_code = code;
      const std::string description = Text(rs["Descrizione"]);
      row.article_description = description;
      ScrivoArticolo(run, code, description, Nz(rs["ZEV03_FLGCOIN"], Value("0")).ToBool());
      if (price != 0) Scrivo_Listino(run, code, price);
    }
  } catch (const std::exception& e) {
    run.RecordError("Check_Articoli", e);
  }
}

}  // namespace zodadovez
