#include "IBErrors.h"

#include "ClientLibrary.h"

namespace ibx {

std::string ComposeErrorText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty() && text.back() != '\n')
            text += "\r\n";
        text += line;
    }
    if (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

void RaiseStatus(const ISC_STATUS* status) {
    const ClientApi& api = Api();
    const int sqlCode = static_cast<int>(api.isc_sqlcode(status));

    // Each line gets a buffer of its own size bound; fb_interpret truncates rather than overruns.
    constexpr unsigned int kLineBuffer = 20480;
    std::string buffer(kLineBuffer, '\0');
    std::vector<std::string> lines;
    const ISC_STATUS* cursor = status;
    while (api.fb_interpret(buffer.data(), kLineBuffer, &cursor) > 0)
        lines.emplace_back(buffer.c_str());

    std::string text = ComposeErrorText(lines);
    const std::int64_t engineCode = status[1];
    if (sqlCode == -551)
        throw EIBInterBaseRoleError(std::move(text), sqlCode, engineCode);
    throw EIBInterBaseError(std::move(text), sqlCode, engineCode);
}

} // namespace ibx
