// Waveform labels: one record code (and the two codes after it, for 64-bit values) becomes a long
// label ("CRC:05") or a short one ("05") and a colour index into the colour tables. The texts and
// colours are the record table's; this file formats the value each label shows.
#include "labels/waveform_label.h"

#include <cstring>

#include "abi/record_code.h"
#include "labels/record_table.h"
#include "labels/value_format.h"

namespace zb {
namespace {

constexpr uint32_t kValueTextSize = 32;  // a position value: up to 64 binary digits are cut here
constexpr int32_t kLowPartMaxWidth = 24;
constexpr int32_t kIdsWidth = 8;
constexpr int32_t kIdWidth = 3;

// Bit width of a position value, from the kind of its first or last record: Data has all position
// bits, Single-Turn and Multi-Turn their shares of them.
int32_t ValueWidth(const SettingsView& s, RecordKind kind) {
    switch (kind) {
        case RecordKind::SingleTurnHigh:
        case RecordKind::SingleTurnLow:
            return s.SingleTurnWidth();
        case RecordKind::MultiTurnHigh:
        case RecordKind::MultiTurnLow:
            return s.MultiTurnWidth();
        default:
            return s.PositionBits();
    }
}

// "%u" and "%0*X" of the small values a label shows, written by hand: a label is asked once per
// record.
// Each writes at most kValueTextSize bytes, terminator included, and returns the text's length.
uint32_t DecimalText(uint32_t v, char* out) {
    uint32_t n = 1;
    for (uint32_t rest = v; rest >= 10; rest /= 10) ++n;
    for (uint32_t i = n; i-- > 0; v /= 10) out[i] = static_cast<char>('0' + v % 10);
    out[n] = '\0';
    return n;
}

uint32_t HexText(uint32_t v, uint32_t minDigits, char* out) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    uint32_t n = 1;
    while (n < 8 && (v >> (4 * n)) != 0) ++n;
    if (n < minDigits) n = minDigits;
    for (uint32_t i = n; i-- > 0; v >>= 4) out[i] = kHexDigits[v & 0xF];
    out[n] = '\0';
    return n;
}

// Formats through the host-facing formatter (the Gray flags of the call's host record). Without a
// record the settings' copy of the same flags is used, so a label never loses its value.
uint32_t FormatForLabel(CallContext& call, const SettingsView& s, uint64_t value, uint32_t format,
                        int32_t width, char* out) {
    out[0] = '\0';
    const uint32_t length = FormatValueAuto(call, value, format, width, out, kValueTextSize);
    if (length != kNoHostResult) return length;
    const uint32_t low = static_cast<uint32_t>(value);
    const uint32_t high = static_cast<uint32_t>(value >> 32);
    if (high != 0) return Format64(s.HostFlags(), low, high, format, width, out, kValueTextSize);
    return Format32(s.HostFlags(), low, format, width, out, kValueTextSize);
}

// The value a record's label shows (the "%s" of its look): a bit, a byte, a field of a control
// frame, a position value, an acknowledge count or an unknown kind's byte.
uint32_t ValueText(CallContext& call, const SettingsView& s, CodeList list, bool wholeValue, char* out) {
    const uint32_t c = list.codes[0];
    const uint32_t p = LowByte(c);
    const uint32_t q = SecondByte(c);
    out[0] = '\0';
    switch (KindOf(c)) {
        case RecordKind::Cds:
        case RecordKind::Cdm:
        case RecordKind::Cts:
        case RecordKind::Ida:
        case RecordKind::Err:
        case RecordKind::Warn:
            return DecimalText(p & 1, out);
        case RecordKind::RegData:
        case RecordKind::Crc:
            return HexText(p, 2, out);
        case RecordKind::Adr:
            return HexText(p & 0x7F, 2, out);
        case RecordKind::Cmd:
            return DecimalText(p & 3, out);
        case RecordKind::Idl: {
            // Nine CDS bits of the address part: an odd value shows all nine, an even one the top
            // eight.
            const uint32_t v = p | ((q & 1) << 8);
            return HexText((p & 1) != 0 ? v : v >> 1, 3, out);
        }
        case RecordKind::Id:
            return FormatForLabel(call, s, p, s.ValueTypeSetting(), IdIsIds(c) ? kIdsWidth : kIdWidth, out);
        case RecordKind::MultiTurnHigh:
        case RecordKind::SingleTurnHigh:
        case RecordKind::DataHigh:
            if (!wholeValue) return 0;
            return FormatForLabel(call, s,
                                  JoinTriple(c & 0xFFFF, PayloadOf(list.codes[1]), PayloadOf(list.codes[2])),
                                  s.HostValueFormat(), ValueWidth(s, KindOf(c)), out);
        case RecordKind::MultiTurnLow:
        case RecordKind::SingleTurnLow:
        case RecordKind::DataLow: {
            const int32_t width = ValueWidth(s, KindOf(c));
            return FormatForLabel(call, s, PayloadOf(c), s.HostValueFormat(),
                                  width > kLowPartMaxWidth ? kLowPartMaxWidth : width, out);
        }
        case RecordKind::Status:
            return DecimalText(q, out);  // the acknowledge count of a counted status
        default:
            return HexText(KindByte(c), 2, out);
    }
}

// A value's first record shows the whole value when the value's other two records follow it.
bool WholeValue(CodeList list) {
    const RecordKind kind = KindOf(list.codes[0]);
    const ValueTriple triples[] = {kMultiTurnTriple, kSingleTurnTriple, kDataTriple};
    for (const ValueTriple& t : triples) {
        if (t.high != kind) continue;
        return list.count >= 3 && KindOf(list.codes[1]) == t.mid && KindOf(list.codes[2]) == t.low;
    }
    return true;
}

}  // namespace

uint32_t BuildWaveformLabel(CallContext& call, const SettingsView& s, CodeList list, char* text,
                            uint32_t size, uint32_t* length) {
    if (length != nullptr) *length = 0;
    if (text == nullptr || size < 1) return kNoColourIndex;
    text[0] = '\0';
    if (list.count < 1 || list.codes == nullptr) return kNoColourIndex;

    const bool wholeValue = WholeValue(list);
    const RecordLook& look = LookOf(list.codes[0], s.IsBissB(), wholeValue);
    const bool shortForm = (s.HostFlags() & HostFlag::kShortLabels) != 0;
    uint32_t n = 0;
    if (size >= kLongestLabelFormat + kValueTextSize) {
        // Room for any label: its parts are written in place, the value straight after the text
        // before it, as far as the value's own limit.
        const LabelParts& parts = PartsOf(look, shortForm);
        std::memcpy(text, parts.before, parts.beforeLength);
        n = parts.beforeLength;
        if (parts.hasValue) n += ValueText(call, s, list, wholeValue, text + n);
        std::memcpy(text + n, parts.after, parts.afterLength);
        n += parts.afterLength;
        text[n] = '\0';
    } else {
        char value[kValueTextSize];
        ValueText(call, s, list, wholeValue, value);
        n = static_cast<uint32_t>(
            ExpandLook(shortForm ? look.shortLabel : look.longLabel, value, text, size));
    }
    if (length != nullptr) *length = n;
    return ColourIndex(s, look.colour);
}

}  // namespace zb
