// Conversion of the plug-in's UTF-8 texts into what the host reads: unchanged for a host that takes
// UTF-8, for pure ASCII and for text that is not valid UTF-8; otherwise encoded in the host's code
// page and cut to the buffer. Any failure leaves the text as it was.
#include "labels/text_for_host.h"

#include <cstring>
#include <string>

#include "platform/platform.h"

namespace zb {
namespace {

bool HostTakesUtf8(uint32_t hostFlags) {
    return (hostFlags & HostFlag::kUtf8) != 0;
}

// The length of a text that ends at its terminator or, without one, at the end of its buffer.
size_t BoundedLength(const char* text, size_t size) {
    const void* end = std::memchr(text, '\0', size);
    return end != nullptr ? static_cast<size_t>(static_cast<const char*>(end) - text) : size;
}

// Whether any of the bytes is not ASCII, eight at a time: labels are checked once per record.
bool HasHighBytes(const char* text, size_t length) {
    uint64_t highBits = 0;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t word;
        std::memcpy(&word, text + i, sizeof word);
        highBits |= word;
    }
    for (; i < length; ++i) highBits |= static_cast<unsigned char>(text[i]);
    return (highBits & 0x8080808080808080ull) != 0;
}

// text[length] in the host's code page, cut to text[size]; left as it was on any failure.
void ConvertInPlace(char* text, size_t length, size_t size) {
    try {
        const std::string original(text, length);
        std::string converted(size, '\0');
        if (!platform::Utf8ToHostCodePage(original.c_str(), converted.data(), size)) return;
        const size_t convertedLength = BoundedLength(converted.data(), size - 1);
        std::memcpy(text, converted.data(), convertedLength);
        text[convertedLength] = '\0';
    } catch (...) {
        // Out of memory: the text stays as it was.
    }
}

}  // namespace

void ConvertForHostInPlace(const HostRecord* host, char* text, size_t size) {
    if (text == nullptr || size == 0) return;
    if (host != nullptr && HostTakesUtf8(host->hostFlags)) return;
    const size_t length = BoundedLength(text, size);
    if (HasHighBytes(text, length)) ConvertInPlace(text, length, size);
}

bool ConvertForHostInPlace(const HostRecord* host, char* text, size_t length, size_t size) {
    if (text == nullptr || length >= size) {
        ConvertForHostInPlace(host, text, size);
        return false;
    }
    if ((host != nullptr && HostTakesUtf8(host->hostFlags)) || !HasHighBytes(text, length)) return true;
    ConvertInPlace(text, length, size);
    return false;
}

const char* ConvertForHost(uint32_t hostFlags, const char* text, char* scratch, size_t scratchSize) {
    if (text == nullptr || scratch == nullptr || scratchSize == 0) return text;
    if (HostTakesUtf8(hostFlags)) return text;
    if (!HasHighBytes(text, std::strlen(text))) return text;
    return platform::Utf8ToHostCodePage(text, scratch, scratchSize) ? scratch : text;
}

}  // namespace zb
