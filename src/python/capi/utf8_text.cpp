#include "python/capi/utf8_text.hpp"

#include <cstdint>
#include <cstring>

namespace sablewick::py::capi {

namespace {

// Code point starting at p (a lead byte); advances p past it.
inline Py_UCS4 next_code_point(const unsigned char*& p) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
        ++p;
        return lead;
    }
    if (lead < 0xE0) {
        const Py_UCS4 c = (Py_UCS4{lead} & 0x1F) << 6 | (p[1] & 0x3F);
        p += 2;
        return c;
    }
    if (lead < 0xF0) {
        const Py_UCS4 c = (Py_UCS4{lead} & 0x0F) << 12 | (Py_UCS4{p[1]} & 0x3F) << 6 | (p[2] & 0x3F);
        p += 3;
        return c;
    }
    const Py_UCS4 c =
        (Py_UCS4{lead} & 0x07) << 18 | (Py_UCS4{p[1]} & 0x3F) << 12 | (Py_UCS4{p[2]} & 0x3F) << 6 | (p[3] & 0x3F);
    p += 4;
    return c;
}

template <class Unit>
void decode_into(Unit* out, const unsigned char* p, const unsigned char* end) {
    while (p < end) *out++ = static_cast<Unit>(next_code_point(p));
}

}  // namespace

PyObject* str_from_valid_utf8(std::string_view text) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = begin + text.size();
    Py_ssize_t length = 0;
    unsigned char widest_lead = 0;
    for (const unsigned char* p = begin; p < end; ++p) {
        if ((*p & 0xC0) != 0x80) {
            ++length;
            if (*p > widest_lead) widest_lead = *p;
        }
    }
    // The widest lead byte decides the narrowest width that holds the text:
    // C2-C3 lead U+0080..U+00FF, C4-EF lead U+0100..U+FFFF, F0-F4 the rest.
    const Py_UCS4 max_char = widest_lead < 0x80   ? 0x7F
                             : widest_lead < 0xC4 ? 0xFF
                             : widest_lead < 0xF0 ? 0xFFFF
                                                  : 0x10FFFF;
    PyObject* str = PyUnicode_New(length, max_char);
    if (!str) return nullptr;
    switch (PyUnicode_KIND(str)) {
        case PyUnicode_1BYTE_KIND:
            if (max_char == 0x7F) {
                std::memcpy(PyUnicode_1BYTE_DATA(str), begin, text.size());
            } else {
                decode_into(PyUnicode_1BYTE_DATA(str), begin, end);
            }
            break;
        case PyUnicode_2BYTE_KIND: decode_into(PyUnicode_2BYTE_DATA(str), begin, end); break;
        default: decode_into(PyUnicode_4BYTE_DATA(str), begin, end); break;
    }
    return str;
}

}  // namespace sablewick::py::capi
