// The value formatter shared by waveform labels and report cells: Gray-code conversion on the
// host's request, then HEX, DEC, OCT, BIN or a character name, padded to the value's bit width and
// always cut to the caller's buffer (the first size - 1 characters and a terminator).
#include "labels/value_format.h"

#include <cstring>

#include "abi/decoder_settings.h"
#include "abi/host_record.h"

namespace zb {
namespace {

// Writes characters into text[size] and silently drops what does not fit, so that one byte always
// stays free for the terminator. A null text or a size below 1 takes nothing at all.
class BoundedText {
  public:
    BoundedText(char* text, int32_t size)
        : text_(size > 0 ? text : nullptr), room_(text_ != nullptr ? static_cast<uint32_t>(size) - 1 : 0) {}

    void Put(char c) {
        if (length_ < room_) text_[length_++] = c;
    }
    void Put(const char* s) {
        while (*s != '\0' && length_ < room_) text_[length_++] = *s++;
    }
    void Put(const char* s, uint32_t n) {
        if (n > room_ - length_) n = room_ - length_;
        if (n == 0) return;  // also keeps a null text out of memcpy
        std::memcpy(text_ + length_, s, n);
        length_ += n;
    }
    // Appends n copies of c; n may be far larger than the buffer.
    void Repeat(char c, uint64_t n) {
        while (n > 0 && length_ < room_) {
            text_[length_++] = c;
            --n;
        }
    }
    uint32_t Finish() {
        if (text_ != nullptr) text_[length_] = '\0';
        return length_;
    }

  private:
    char* text_;
    uint32_t room_;
    uint32_t length_ = 0;
};

// The two forms differ in their bit count: it bounds the HEX width, decides when a mask means
// "all ones", where OCT stops padding, whether BIN pads past 32 digits and which bits the
// Gray-to-binary conversion keeps.
enum class Form : uint32_t { Bits32 = 32, Bits64 = 64 };

constexpr uint32_t kToGrayBit = HostFlag::kToGray;
constexpr uint32_t kFromGrayBit = HostFlag::kFromGray;

// Gray to binary over the low 30 (32-bit form) or 62 (64-bit form) bits: every binary bit is the
// XOR of the Gray bits at and above it, the top kept bit is copied, the two highest input bits are
// dropped.
uint64_t FromGray(uint64_t gray, Form form) {
    const uint64_t keep = form == Form::Bits32 ? 0x3FFFFFFFull : 0x3FFFFFFFFFFFFFFFull;
    uint64_t binary = gray & keep;
    for (unsigned shift = 1; shift < 64; shift <<= 1) binary ^= binary >> shift;
    return binary;
}

uint64_t ConvertByFlags(uint64_t value, uint32_t flags, Form form) {
    if ((flags & kToGrayBit) != 0) return value ^ (value >> 1);
    if ((flags & kFromGrayBit) != 0) return FromGray(value, form);
    return value;
}

// 2^width - 1, or all ones once the width reaches the form's bit count. Negative widths count as 0.
uint64_t MaskFor(int32_t width, uint32_t formBits) {
    if (width <= 0) return 0;
    if (static_cast<uint32_t>(width) >= formBits) return ~uint64_t{0};
    return (uint64_t{1} << width) - 1;
}

// The digits of v in base 2, 8, 10 or 16 (at least one, "0"), preceded by as many '0' as it takes
// to reach `minDigits` characters. The digits are written from the end of a buffer, least
// significant first, and the base is a constant of each instance, so no division is a real one.
template <uint32_t Base>
void PutPadded(BoundedText& out, uint64_t v, uint64_t minDigits) {
    static constexpr char kDigitChars[] = "0123456789ABCDEF";
    char digits[64];
    uint32_t n = 0;
    do {
        digits[sizeof digits - 1 - n++] = kDigitChars[v % Base];
        v /= Base;
    } while (v != 0);
    if (minDigits > n) out.Repeat('0', minDigits - n);
    out.Put(digits + sizeof digits - n, n);
}

// Width 0 (or below) means a field of no bits: the masked value is 0 and prints as one '0' in the
// HEX, OCT and BIN formats rather than as an empty text. The decoder passes it for a multi-turn
// value when every position bit is a single-turn bit.
void PutHex(BoundedText& out, uint64_t value, int32_t width, Form form) {
    const uint32_t formBits = static_cast<uint32_t>(form);
    const int32_t w = width < 0 ? 0 : (static_cast<uint32_t>(width) >= formBits ? formBits : width);
    const uint64_t v = value & MaskFor(w, formBits);
    PutPadded<16>(out, v, (static_cast<uint32_t>(w) + 3) / 4);
}

void PutOct(BoundedText& out, uint64_t value, int32_t width, Form form) {
    const uint32_t formBits = static_cast<uint32_t>(form);
    const uint64_t w = width < 0 ? 0 : static_cast<uint64_t>(width);
    const uint64_t v = value & MaskFor(width, formBits);
    const uint64_t d = (w + 2) / 3;
    // Padding only while d octal digits stay inside the form; wider fields print unpadded.
    PutPadded<8>(out, v, 3 * d < formBits ? d : 0);
}

void PutBin(BoundedText& out, uint64_t value, int32_t width, Form form) {
    const uint32_t formBits = static_cast<uint32_t>(form);
    const uint64_t w = width < 0 ? 0 : static_cast<uint64_t>(width);
    const uint64_t v = value & MaskFor(width, formBits);
    // Below 32 bits the text has exactly w digits. From 32 bits on the 32-bit form still pads to w
    // (wider than the value itself), the 64-bit form prints the significant digits only.
    const bool pad = w < 32 || form == Form::Bits32;
    PutPadded<2>(out, v, pad ? w : 0);
}

// Names of the bytes 0..31, then 32 and 127; 33..126 are quoted characters.
constexpr const char* kControlNames[32] = {
    "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>", "<BS>",  "<HT>",  "<LF>",
    "<VT>",  "<FF>",  "<CR>",  "<SO>",  "<SI>",  "<DLE>", "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>",
    "<SYN>", "<ETB>", "<CAN>", "<EM>",  "<SUB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>"};

void PutCharacter(BoundedText& out, uint64_t value) {
    const uint32_t byte = static_cast<uint32_t>(value & 0xFF);
    if (byte < 32) {
        out.Put(kControlNames[byte]);
    } else if (byte == ' ') {
        out.Put("<Space>");
    } else if (byte == 127) {
        out.Put("<DEL>");
    } else if (byte == '"') {
        out.Put("'\\\"'");
    } else if (byte == ',') {
        // Quoted twice so that a comma never reads as a column separator.
        out.Put("\"','\"");
    } else if (byte < 127) {
        out.Put('\'');
        out.Put(static_cast<char>(byte));
        out.Put('\'');
    } else {
        static constexpr char kHex[] = "0123456789ABCDEF";
        out.Put('<');
        out.Put(kHex[byte >> 4]);
        out.Put(kHex[byte & 0xF]);
        out.Put("h>");
    }
}

uint32_t FormatAny(uint32_t flags, uint64_t value, uint32_t format, int32_t width, char* text, int32_t size,
                   Form form) {
    BoundedText out(text, size);
    const uint64_t v = ConvertByFlags(value, flags, form);
    switch (static_cast<ValueType>(format)) {
        case ValueType::Hex:
            PutHex(out, v, width, form);
            break;
        case ValueType::Dec:
            PutPadded<10>(out, v, 0);
            break;
        case ValueType::Oct:
            PutOct(out, v, width, form);
            break;
        case ValueType::Bin:
            PutBin(out, v, width, form);
            break;
        case ValueType::Char:
            PutCharacter(out, v);
            break;
        default:  // an unknown selector gives the empty text
            break;
    }
    return out.Finish();
}

}  // namespace

uint32_t Format32(uint32_t flags, uint32_t value, uint32_t format, int32_t width, char* text, int32_t size) {
    return FormatAny(flags, value, format, width, text, size, Form::Bits32);
}

uint32_t Format64(uint32_t flags, uint32_t low, uint32_t high, uint32_t format, int32_t width, char* text,
                  int32_t size) {
    const uint64_t value = (uint64_t{high} << 32) | low;
    return FormatAny(flags, value, format, width, text, size, Form::Bits64);
}

uint32_t FormatValue32(CallContext& call, uint32_t value, uint32_t format, int32_t width, char* text,
                       int32_t size) {
    const HostRecord* host = call.host;
    if (host == nullptr) {
        call.status = ReportStatusCode::NoHost;
        return kNoHostResult;
    }
    call.status = ReportStatusCode::Ok;
    return Format32(host->hostFlags, value, format, width, text, size);
}

uint32_t FormatValue64(CallContext& call, uint32_t low, uint32_t high, uint32_t format, int32_t width,
                       char* text, int32_t size) {
    const HostRecord* host = call.host;
    if (host == nullptr) {
        call.status = ReportStatusCode::NoHost;
        return kNoHostResult;
    }
    call.status = ReportStatusCode::Ok;
    return Format64(host->hostFlags, low, high, format, width, text, size);
}

uint32_t FormatValueAuto(CallContext& call, uint64_t value, uint32_t format, int32_t width, char* text,
                         int32_t size) {
    const auto low = static_cast<uint32_t>(value);
    const auto high = static_cast<uint32_t>(value >> 32);
    if (high == 0) return FormatValue32(call, low, format, width, text, size);
    return FormatValue64(call, low, high, format, width, text, size);
}

}  // namespace zb
