#include "ParamScanner.h"

#include "IBErrors.h"

namespace ibx {
namespace {

[[noreturn]] void ParseError(const char* what) {
    throw EIBClientError(std::string("SQL Parse Error:") + "\r\n\r\n" + what);
}

bool IsNameChar(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}

enum class State {
    Text,         // plain statement text
    SingleQuoted, // inside '...'
    DoubleQuoted, // inside "..."
    BlockComment, // inside /* ... */
    Marker,       // just after ':' or '?': a name must follow
    Name,         // inside a bare marker name
    QuotedName,   // inside a marker name written as "..."
};

} // namespace

ScannedStatement ScanParameterMarkers(std::string_view sql) {
    ScannedStatement out;
    out.Text.reserve(sql.size());
    State state = State::Text;
    bool colonMarker = false; // the marker being read is kept in Params
    std::string name;

    auto endMarker = [&] {
        out.Text += '?';
        if (colonMarker)
            out.Params.push_back(name);
        name.clear();
        state = State::Text;
    };

    std::size_t i = 0;
    while (i < sql.size()) {
        const char c = sql[i];
        const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        switch (state) {
        case State::Text:
            if (c == '\'') {
                state = State::SingleQuoted;
            } else if (c == '"') {
                state = State::DoubleQuoted;
            } else if (c == '/' && next == '*') {
                out.Text += "/*";
                i += 2;
                state = State::BlockComment;
                continue;
            } else if (c == ':' || c == '?') {
                colonMarker = c == ':';
                state = State::Marker;
                ++i;
                continue;
            }
            out.Text += c;
            ++i;
            break;
        case State::SingleQuoted:
        case State::DoubleQuoted: {
            const char quote = state == State::SingleQuoted ? '\'' : '"';
            out.Text += c;
            ++i;
            if (c == quote) {
                if (next == quote) { // a doubled quote belongs to the literal
                    out.Text += next;
                    ++i;
                } else {
                    state = State::Text;
                }
            }
            break;
        }
        case State::BlockComment:
            if (c == '*' && next == '/') {
                out.Text += "*/";
                i += 2;
                state = State::Text;
                continue;
            }
            out.Text += c;
            ++i;
            break;
        case State::Marker:
            if (IsNameChar(c)) {
                state = State::Name;
            } else if (c == '"') {
                state = State::QuotedName;
                ++i;
            } else {
                ParseError("Parameter name expected");
            }
            break;
        case State::Name:
            if (IsNameChar(c)) {
                name += c;
                ++i;
            } else {
                endMarker(); // c is read again as text
            }
            break;
        case State::QuotedName:
            ++i;
            if (c != '"') {
                name += c;
            } else if (next == '"') {
                name += '"';
                ++i;
            } else {
                if (name.empty())
                    ParseError("Parameter name expected");
                endMarker();
            }
            break;
        }
    }

    switch (state) {
    case State::Text:
        break;
    case State::SingleQuoted:
    case State::DoubleQuoted:
    case State::QuotedName:
        ParseError("EOF in string detected");
    case State::BlockComment:
        ParseError("EOF in comment detected");
    case State::Marker:
        ParseError("Parameter name expected");
    case State::Name:
        endMarker();
        break;
    }
    return out;
}

} // namespace ibx
