// Service-to-article coding: gym subscriptions, tickets, agenda services and bar products
// become ERP article codes with their classification.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class FRMZEV_ZODADOVEZ;

void CodificaArticolo_Abb(FRMZEV_ZODADOVEZ& w, std::int32_t enrolment);
void CodificaArticolo_Ticket(FRMZEV_ZODADOVEZ& w, std::int32_t till_movement);
void Search_Articolo(FRMZEV_ZODADOVEZ& w, std::int32_t bar_total);
void CodificaArticolo_Agenda(FRMZEV_ZODADOVEZ& w, std::int32_t enrolment);
void Leggi_Articolo(FRMZEV_ZODADOVEZ& w, const std::string& code);
// Before the receipt loop: creates the articles of the bar products sold since the last
// import; sets the abort flag when it fails.
void Check_Articoli(FRMZEV_ZODADOVEZ& w);

}  // namespace zodadovez
