// Any bytes split into entries that hold no line break or NUL and together are no longer than
// the input.
#include "core/StringList.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    size_t total = 0;
    for (const std::string& line : vcl::SplitLines(bytes)) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
            std::abort();
        total += line.size();
    }
    if (total > size)
        std::abort();
    return 0;
}
