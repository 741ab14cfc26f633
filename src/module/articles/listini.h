// Sales price-list entries (LI10_LISTARTIC) of bar articles.
#pragma once

#include <string>

namespace zodadovez {

class ImportRun;

// Adds the article's entry of the company's sales price list, or rewrites its price.
void Scrivo_Listino(ImportRun& run, const std::string& code, double price);

}  // namespace zodadovez
