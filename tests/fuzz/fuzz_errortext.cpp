// Message lines of any content (split at 0x01 bytes) compose to a text that contains every line
// and loses at most one final full stop.
#include "db/IBErrors.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> lines(1);
    size_t bytes = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 1)
            lines.emplace_back();
        else {
            lines.back() += static_cast<char>(data[i]);
            ++bytes;
        }
    }
    const std::string text = ibx::ComposeErrorText(lines);
    if (text.size() + 1 < bytes || text.size() > bytes + 2 * lines.size())
        std::abort();
    return 0;
}
