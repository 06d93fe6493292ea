// Text for the host on Windows: UTF-8 decoded strictly (MultiByteToWideChar with
// MB_ERR_INVALID_CHARS) and encoded in the system's ANSI code page (WideCharToMultiByte, CP_ACP).
// A character that the code page cannot represent makes the conversion fail, as iconv does on
// POSIX, rather than turn silently into the default character: the caller then hands the text on
// unchanged, so nothing is lost that a UTF-8-aware reader could still recover.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace zb::platform {
namespace {

// No best-fit substitutes ("A" for U+0100): a character without its own code point in the code
// page counts as lost, which the default-character flag then reports.
constexpr DWORD kEncodeFlags = WC_NO_BEST_FIT_CHARS;

// The longest prefix of `text[0..length)` that ends on a character boundary and is at most
// `limit` bytes long, for the ANSI code page `codePage` (single byte, double byte or UTF-8).
size_t PrefixLength(const char* text, size_t length, size_t limit, UINT codePage) {
    if (length <= limit) return length;
    size_t end = 0;
    while (end < length) {
        const auto byte = static_cast<unsigned char>(text[end]);
        size_t step = 1;
        if (codePage == CP_UTF8) {
            step = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        } else if (IsDBCSLeadByteEx(codePage, byte)) {
            step = 2;
        }
        if (end + step > limit) break;
        end += step;
    }
    return end;
}

}  // namespace

bool Utf8ToHostCodePage(const char* utf8, char* out, size_t outSize) {
    if (utf8 == nullptr || out == nullptr || outSize == 0 || !IsValidUtf8(utf8)) return false;
    try {
        const size_t inLength = std::strlen(utf8);
        if (inLength > 0x3FFFFFFF) return false;  // beyond what the int-sized API takes
        const int inCount = static_cast<int>(inLength);
        const UINT codePage = GetACP();

        std::string encoded;
        if (codePage == CP_UTF8) {
            encoded.assign(utf8, inLength);  // the system itself runs in UTF-8
        } else {
            const int wideCount =
                MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, inCount, nullptr, 0);
            if (wideCount <= 0) return false;
            std::wstring wide(static_cast<size_t>(wideCount), L'\0');
            if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, inCount, wide.data(), wideCount) !=
                wideCount) {
                return false;
            }
            BOOL defaultUsed = FALSE;
            const int count = WideCharToMultiByte(CP_ACP, kEncodeFlags, wide.data(), wideCount, nullptr, 0,
                                                  nullptr, &defaultUsed);
            if (count <= 0 || defaultUsed) return false;
            encoded.assign(static_cast<size_t>(count), '\0');
            defaultUsed = FALSE;
            if (WideCharToMultiByte(CP_ACP, kEncodeFlags, wide.data(), wideCount, encoded.data(), count,
                                    nullptr, &defaultUsed) != count ||
                defaultUsed) {
                return false;
            }
        }
        const size_t kept = PrefixLength(encoded.data(), encoded.size(), outSize - 1, codePage);
        std::memcpy(out, encoded.data(), kept);
        out[kept] = '\0';
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace zb::platform
