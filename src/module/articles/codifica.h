// Service-to-article coding: gym subscriptions, tickets, agenda services and bar products
// become ERP article codes with their classification.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class ImportRun;

void CodificaArticolo_Abb(ImportRun& run, std::int32_t enrolment);
void CodificaArticolo_Ticket(ImportRun& run, std::int32_t till_movement);
void Search_Articolo(ImportRun& run, std::int32_t bar_total);
void CodificaArticolo_Agenda(ImportRun& run, std::int32_t enrolment);
void Leggi_Articolo(ImportRun& run, const std::string& code);
// Before the receipt loop: creates the articles of the bar products sold since the last
// import; sets the abort flag when it fails.
void Check_Articoli(ImportRun& run);

}  // namespace zodadovez
