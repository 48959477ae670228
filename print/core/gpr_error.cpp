// Message assembly of GridPrinter's exceptions (gpr_error.h).
#include "print/core/gpr_error.h"

namespace gpr {

eGprError::eGprError(std::string_view prefix, std::string_view message)
    : std::runtime_error(std::string(prefix) + std::string(message)) {}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace gpr
