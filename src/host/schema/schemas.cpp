#include "host/schema/schemas.h"

namespace zodadovez {

extern const char* const kSchema_erp;
extern const char* const kSchema_gym;

std::string_view ErpSchema() { return kSchema_erp; }
std::string_view GymSchema() { return kSchema_gym; }

}  // namespace zodadovez
