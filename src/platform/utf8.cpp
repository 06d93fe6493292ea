// UTF-8 well-formedness, shared by both platforms: the check that decides whether a text may be
// converted for the host at all. Only shortest forms of scalar values below U+110000 pass;
// surrogates (U+D800..U+DFFF) and overlong forms are rejected.
#include "platform/platform.h"

namespace zb::platform {
namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

bool IsValidUtf8(const char* text) {
    if (text == nullptr) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        // The lead byte gives the sequence length and the range the second byte must lie in:
        // the narrowed ranges after E0, ED, F0 and F4 exclude overlong forms, surrogates and
        // values above U+10FFFF.
        int length;
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0) low = 0xA0;
            if (lead == 0xED) high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0) low = 0x90;
            if (lead == 0xF4) high = 0x8F;
        } else {
            return false;  // a stray continuation byte, C0/C1 (always overlong) or F5..FF
        }
        if (p[1] < low || p[1] > high) return false;  // also stops at the terminator
        for (int i = 2; i < length; ++i) {
            if (!IsContinuation(p[i])) return false;
        }
        p += length;
    }
    return true;
}

}  // namespace zb::platform
