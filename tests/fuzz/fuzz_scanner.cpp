// Any statement text either scans or fails with the layer's own parse error; the scanned text
// keeps every byte outside markers and has one "?" per marker.
#include "db/IBErrors.h"
#include "db/ParamScanner.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view sql(reinterpret_cast<const char*>(data), size);
    try {
        const ibx::ScannedStatement s = ibx::ScanParameterMarkers(sql);
        if (s.Text.size() > sql.size())
            std::abort();
        const auto marks = std::count(s.Text.begin(), s.Text.end(), '?');
        if (static_cast<size_t>(marks) < s.Params.size())
            std::abort();
    } catch (const ibx::EIBClientError& e) {
        if (e.Message().rfind("SQL Parse Error:\r\n\r\n", 0) != 0)
            std::abort();
    }
    return 0;
}
