// 128-bit class and interface identifiers in the in-memory GUID layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vx {

struct Guid {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(Guid) == 16);
static_assert(offsetof(Guid, data2) == 4 && offsetof(Guid, data3) == 6 &&
              offsetof(Guid, data4) == 8);

namespace detail {
constexpr uint32_t HexDigit(char c) {
    return c >= '0' && c <= '9'   ? uint32_t(c - '0')
           : c >= 'a' && c <= 'f' ? uint32_t(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? uint32_t(c - 'A' + 10)
                                  : throw "bad hex digit in identifier";
}
constexpr uint32_t Hex(const char* s, int digits) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) v = v << 4 | HexDigit(s[i]);
    return v;
}
}  // namespace detail

// Parses the registry form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" at compile time.
constexpr Guid GuidFromString(const char (&s)[39]) {
    using detail::Hex;
    if (s[0] != '{' || s[9] != '-' || s[14] != '-' || s[19] != '-' || s[24] != '-' || s[37] != '}')
        throw "malformed identifier";
    Guid g{Hex(s + 1, 8), uint16_t(Hex(s + 10, 4)), uint16_t(Hex(s + 15, 4)), {}};
    g.data4[0] = uint8_t(Hex(s + 20, 2));
    g.data4[1] = uint8_t(Hex(s + 22, 2));
    for (int i = 0; i < 6; ++i) g.data4[2 + i] = uint8_t(Hex(s + 25 + 2 * i, 2));
    return g;
}

// Identifiers are compared as four 32-bit words.
inline bool SameGuid(const Guid& a, const Guid& b) {
    uint32_t wa[4], wb[4];
    std::memcpy(wa, &a, sizeof wa);
    std::memcpy(wb, &b, sizeof wb);
    return wa[0] == wb[0] && wa[1] == wb[1] && wa[2] == wb[2] && wa[3] == wb[3];
}

}  // namespace vx
