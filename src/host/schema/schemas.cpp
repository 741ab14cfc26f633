#include "host/schema/schemas.h"

namespace zodadovez {

extern const char* const kSchema_erp;
extern const char* const kSchema_gym;
extern const char* const kSchema_procedures;
extern const char* const kSchema_zev;

std::string_view ErpSchema() { return kSchema_erp; }
std::string_view GymSchema() { return kSchema_gym; }
std::string_view ProceduresSchema() { return kSchema_procedures; }
std::string_view ZevSchema() { return kSchema_zev; }

}  // namespace zodadovez
