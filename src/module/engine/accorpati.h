// Grouped daily documents: one document per day and document section for the receipt types
// set to be grouped.
#pragma once

#include <cstdint>
#include <string>

namespace zodadovez {

class ImportRun;

// Builds the grouped documents of the receipts that satisfy `condition`; returns whether it
// found receipts to group.
bool GestDocAccorpato(ImportRun& run, const std::string& condition, std::int16_t configuration_id);

}  // namespace zodadovez
