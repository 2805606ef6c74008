#pragma once
// Compiles a regular expression into the node program the matcher runs.
#include <string_view>

#include "search/RegExprProgram.h"

// Compiles the pattern up to its first zero byte. Throws RegExprFailure with
// the compile message ("unmatched ()", "Invalid [] range", ...) on an error.
RegExprProgram compileRegExpr(std::string_view pattern);
