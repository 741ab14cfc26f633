// Gym rows for the reliability tests: receipts with their rows and till movements, users, bar
// products and tickets, written into the fixture's gym database "Palestra" through the quoting
// helper, whatever the values hold.
#pragma once

#include <fmt/format.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "module/common/database.h"
#include "module/common/sql_text.h"
#include "module/common/value.h"

namespace zodadovez::testing {

// A value as a T-SQL literal: NULL, a quoted text, a bare number, a quoted ISO date.
inline std::string Literal(const Value& v) {
  switch (v.kind()) {
    case ValueKind::kEmpty:
    case ValueKind::kNull:
      return "NULL";
    case ValueKind::kBool:
      return v.as_bool() ? "1" : "0";
    case ValueKind::kInteger:
      return std::to_string(v.as_integer());
    case ValueKind::kDecimal:
      return v.as_decimal().ToString();
    case ValueKind::kDouble:
      return Decimal::FromDouble(v.as_double()).ToString();
    case ValueKind::kText:
      return SqlQuote(v.as_text());
    case ValueKind::kDate:
      return SqlQuote(FormatIsoDate(v.as_date()));
  }
  return "NULL";
}

using Columns = std::vector<std::pair<std::string, Value>>;

// The first `size` characters of a UTF-8 text.
inline std::string FirstChars(const std::string& text, int size) {
  int count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80 && count++ == size) {
      return text.substr(0, i);
    }
  }
  return text;
}

// INSERT INTO Palestra.dbo.<table> (<columns>) VALUES (<literals>). A text longer than its
// column is cut to the column's size, as the gym's own database would hold it: the longest
// texts a gym can hand over are those of its varchar(max) columns.
inline void InsertGym(Database& db, std::string_view table, const Columns& columns) {
  Recordset shape = db.open(fmt::format("SELECT * FROM Palestra.dbo.{} WHERE 1 = 0", table));
  std::string names;
  std::string values;
  for (const auto& [name, value] : columns) {
    names += (names.empty() ? "" : ", ") + name;
    int field = shape.field_index(name);
    int size = field < 0 ? 0 : shape.fields()[static_cast<std::size_t>(field)].size;
    const Value fitted =
        value.is_text() && size > 0 ? Value(FirstChars(value.as_text(), size)) : value;
    values += (values.empty() ? "" : ", ") + Literal(fitted);
  }
  db.execute(fmt::format("INSERT INTO Palestra.dbo.{} ({}) VALUES ({})", table, names, values));
}

// One receipt row and its till movement.
struct GymRow {
  std::string service = "U";  // TipoServizio of the till movement
  Value quantity = Decimal(1);
  Value price = Decimal(10);
  Value description = "riga";
  Value vat_description = "22%";
  Value payment = 1;  // IDTipoPagamento
  Value enrolment;    // IDIscrizione: subscription enrolment, bar sale, agenda booking
};

struct GymReceipt {
  int id = 0;
  int company = 1;  // IDRicevuteAzienda
  Value type = "R";
  Value number;  // NumeroRicevuta; Empty: the id
  Value date = MakeDateTime(2025, 3, 1);
  int cancelled = 0;
  Value user = Null{};
  Value customer = "Cliente";
  Value vat_number = Null{};
  Value address1 = Null{};
  Value address2 = Null{};
  std::vector<GymRow> rows;
};

inline int RowId(int receipt, std::size_t row) { return receipt * 100 + static_cast<int>(row); }

// Writes the receipt, its rows and one till movement per row (both with id RowId()).
inline void AddReceipt(Database& db, const GymReceipt& r) {
  InsertGym(db, "RicevuteTestata",
            {{"IDRicevuta", r.id},
             {"IDRicevuteAzienda", r.company},
             {"TipoRicevuta", r.type},
             {"NumeroRicevuta", r.number.is_empty() ? Value(r.id) : r.number},
             {"DataRicevuta", r.date},
             {"Annullata", r.cancelled},
             {"IDUtente", r.user},
             {"Cliente", r.customer},
             {"PIVA", r.vat_number},
             {"Indirizzo_1", r.address1},
             {"Indirizzo_2", r.address2}});
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const GymRow& row = r.rows[i];
    const int id = RowId(r.id, i);
    InsertGym(db, "CassaMovimenti",
              {{"IDCassaMovimento", id},
               {"IDRicevutaAzienda", r.company},
               {"IDRicevuteRiga", id},
               {"DataMovimento", r.date},
               {"TipoServizio", row.service},
               {"IDIscrizione", row.enrolment},
               {"IDTipoPagamento", row.payment}});
    InsertGym(db, "RicevuteRiga",
              {{"IDRicevuteRiga", id},
               {"IDRicevuta", r.id},
               {"IDCassaMovimento", id},
               {"IDCentroRicavo", 1},
               {"Descrizione", row.description},
               {"Qta", row.quantity},
               {"PrezzoUnitario", row.price},
               {"Iva", Decimal(22)},
               {"IvaDescrizione", row.vat_description}});
  }
}

// A gym user whose every text column holds `text`.
inline void AddUser(Database& db, int id, const Value& text, const Value& member = Null{}) {
  Columns columns = {{"IDUtente", id}, {"IdSocio", member}};
  for (const char* column :
       {"Cognome", "Nome", "CodiceFiscale", "PIVA", "Indirizzo_Via", "Indirizzo_NumeroCivico",
        "Indirizzo_Cap", "Indirizzo_Citta", "Indirizzo_Pv", "Luogo_Nascita", "Provincia_Nascita",
        "Sesso", "Telefono_1", "Telefono_2"}) {
    columns.emplace_back(column, text);
  }
  InsertGym(db, "Utenti", columns);
}

}  // namespace zodadovez::testing
