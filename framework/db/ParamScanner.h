#pragma once
// Finds parameter markers in a statement: a colon or question mark outside string literals and
// /* */ comments, with its name. Line comments are not special. Pure.

#include <string>
#include <string_view>
#include <vector>

namespace ibx {

struct ScannedStatement {
    std::string Text;                ///< the statement with each marker, name included, as "?"
    std::vector<std::string> Params; ///< names of the colon markers, in order of appearance
};

/// Throws EIBClientError "SQL Parse Error:" CR LF CR LF and "Parameter name expected",
/// "EOF in string detected" or "EOF in comment detected".
ScannedStatement ScanParameterMarkers(std::string_view sql);

} // namespace ibx
