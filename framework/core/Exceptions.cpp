#include "Exceptions.h"

namespace vcl {

#ifdef _WIN32
const char* const sLineBreak = "\r\n";
#else
const char* const sLineBreak = "\n";
#endif

EOSError::EOSError(int errorCode, std::string description)
    : Exception("System Error.  Code: " + std::to_string(errorCode) + "." + sLineBreak +
                std::move(description)),
      errorCode_(errorCode) {}

std::string WithDisplayFullStop(const std::string& message) {
    // Compared as an unsigned byte, so every character of a multi-byte sequence counts as above.
    if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
        return message + '.';
    return message;
}

} // namespace vcl
