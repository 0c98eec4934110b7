#include "sablewick/base/debug_text.hpp"

#include "sablewick/utf8/utf8.hpp"

namespace sablewick {

namespace {

void append_hex(std::string& out, char32_t c) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char buffer[8];
    int n = 0;
    do {
        buffer[n++] = kDigits[c & 0xF];
        c >>= 4;
    } while (c != 0);
    out += "\\u{";
    while (n > 0) out += buffer[--n];
    out += '}';
}

}  // namespace

void append_debug_quoted(std::string& out, std::string_view text) {
    out += '"';
    while (!text.empty()) {
        std::size_t length;
        const char32_t c = utf8::decode_utf8(text, length);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case 0: out += "\\0"; break;
            default:
                if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
                    append_hex(out, c);
                } else if (c == 0xFFFD && length == 1 && static_cast<unsigned char>(text[0]) >= 0x80) {
                    out += "\xEF\xBF\xBD";  // a stray byte: keep the output valid UTF-8
                } else {
                    out.append(text.data(), length);
                }
        }
        text.remove_prefix(length);
    }
    out += '"';
}

}  // namespace sablewick
