// Waveform labels: one record code (and the two codes after it, for 64-bit values) becomes a long
// label ("CRC:05") or a short one ("05") and a colour index into the colour tables.
#include "labels/waveform_label.h"

#include <cstdarg>
#include <cstdio>

#include "abi/colour_tables.h"
#include "abi/record_code.h"
#include "labels/value_format.h"

namespace zb {
namespace {

// Colour slots of the settings, by what they colour on the waveform.
enum class Slot : uint32_t {
    AckAdr = 0,
    Start = 1,
    CdsCts = 2,
    DataCmd = 3,
    FlagIdlId = 4,
    CrcRegister = 5,
    StopEx = 6,
    ReadIds = 7,
    WriteIda = 8,
};

constexpr int32_t kValueTextSize = 32;  // a position value: up to 64 binary digits are cut here
constexpr int32_t kIdTextSize = 24;
constexpr int32_t kLowPartMaxWidth = 24;
constexpr int32_t kIdsWidth = 8;
constexpr int32_t kIdWidth = 3;

// The text being built: cut to the host's buffer, always terminated.
class LabelText {
  public:
    LabelText(char* text, uint32_t size) : text_(text), size_(size) { text_[0] = '\0'; }

    void Print(const char* format, ...) {
        va_list args;
        va_start(args, format);
        const int n = std::vsnprintf(text_, size_, format, args);
        va_end(args);
        if (n < 0) text_[0] = '\0';
    }
    // The long form unless the host asked for short labels; both take the same arguments.
    template <typename... Args>
    void Choose(bool shortForm, const char* longForm, const char* shortFormText, Args... args) {
        Print(shortForm ? shortFormText : longForm, args...);
    }

  private:
    char* text_;
    size_t size_;
};

struct TripleInfo {
    ValueTriple kinds;
    const char* name;
};
constexpr TripleInfo kTriples[] = {
    {kMultiTurnTriple, "Multi-Turn"},
    {kSingleTurnTriple, "Single-Turn"},
    {kDataTriple, "Data"},
};

const TripleInfo* TripleWithHigh(RecordKind kind) {
    for (const TripleInfo& t : kTriples)
        if (t.kinds.high == kind) return &t;
    return nullptr;
}
const TripleInfo* TripleWithLow(RecordKind kind) {
    for (const TripleInfo& t : kTriples)
        if (t.kinds.low == kind) return &t;
    return nullptr;
}

// Bit width of a position value: Data has all position bits, Single-Turn and Multi-Turn their
// shares of them.
int32_t TripleWidth(const SettingsView& s, const TripleInfo& triple) {
    if (triple.kinds.high == kSingleTurnTriple.high) return s.SingleTurnWidth();
    if (triple.kinds.high == kMultiTurnTriple.high) return s.MultiTurnWidth();
    return s.PositionBits();
}

// Formats through the host-facing formatter (the Gray flags of the call's host record). Without a
// record the settings' copy of the same flags is used, so a label never loses its value.
template <int32_t N>
void FormatForLabel(CallContext& call, const SettingsView& s, uint64_t value, uint32_t format, int32_t width,
                    char (&out)[N]) {
    out[0] = '\0';
    if (FormatValueAuto(call, value, format, width, out, N) != kNoHostResult) return;
    const uint32_t low = static_cast<uint32_t>(value);
    const uint32_t high = static_cast<uint32_t>(value >> 32);
    if (high != 0) {
        Format64(s.HostFlags(), low, high, format, width, out, N);
    } else {
        Format32(s.HostFlags(), low, format, width, out, N);
    }
}

uint32_t SlotColour(const SettingsView& s, Slot slot) {
    return s.ColourSlot(static_cast<uint32_t>(slot));
}

uint32_t StatusLabel(const SettingsView& s, LabelText& t, bool shortForm, uint32_t p, uint32_t q) {
    switch (static_cast<StatusCode>(p)) {
        case StatusCode::Reading:
            t.Print("Reading");
            return SlotColour(s, Slot::ReadIds);
        case StatusCode::Busy:
            if (q < 2) {
                t.Print("Busy");
            } else {
                t.Choose(shortForm, "Busy %u clk", "%u", q);
            }
            return SlotColour(s, Slot::FlagIdlId);
        case StatusCode::Error:
            t.Print("Error");
            return kRedIndex;
        case StatusCode::SlaveSeparator:
            return kWhiteIndex;  // no text, the span keeps the plain colour
        case StatusCode::Timeout:
            if (q < 2) {
                t.Print("Timeout");
            } else if (shortForm) {
                t.Print("T");
            } else {
                t.Print("Timeout %u clk", q);
            }
            return kRedIndex;
        default:
            t.Print("IDLE");
            return kWhiteIndex;
    }
}

}  // namespace

uint32_t BuildWaveformLabel(CallContext& call, const SettingsView& s, CodeList list, char* text,
                            uint32_t size) {
    if (text == nullptr || size < 1) return kNoColourIndex;
    LabelText t(text, size);
    if (list.count < 1 || list.codes == nullptr) return kNoColourIndex;

    const uint32_t c = list.codes[0];
    const uint32_t next1 = list.count >= 3 ? list.codes[1] : 0;
    const uint32_t next2 = list.count >= 3 ? list.codes[2] : 0;
    const bool shortForm = (s.HostFlags() & HostFlag::kShortLabels) != 0;
    const uint32_t p = LowByte(c);
    const uint32_t q = SecondByte(c);
    const RecordKind kind = KindOf(c);

    if (const TripleInfo* triple = TripleWithHigh(kind)) {
        const bool complete = KindOf(next1) == triple->kinds.mid && KindOf(next2) == triple->kinds.low;
        if (!complete) {
            t.Print("%s", triple->name);
            return SlotColour(s, Slot::DataCmd);
        }
        const uint64_t value = JoinTriple(c & 0xFFFF, PayloadOf(next1), PayloadOf(next2));
        char valueText[kValueTextSize];
        FormatForLabel(call, s, value, s.HostValueFormat(), TripleWidth(s, *triple), valueText);
        if (shortForm) {
            t.Print("%s", valueText);
        } else {
            t.Print("%s: %s", triple->name, valueText);
        }
        return SlotColour(s, Slot::DataCmd);
    }
    if (const TripleInfo* triple = TripleWithLow(kind)) {
        int32_t width = TripleWidth(s, *triple);
        if (width > kLowPartMaxWidth) width = kLowPartMaxWidth;
        char valueText[kValueTextSize];
        FormatForLabel(call, s, PayloadOf(c), s.HostValueFormat(), width, valueText);
        t.Print("%s", valueText);
        return SlotColour(s, Slot::DataCmd);
    }

    switch (kind) {
        case RecordKind::Ack:
            t.Choose(shortForm, "ACK", "A");
            return SlotColour(s, Slot::AckAdr);
        case RecordKind::Start:
            t.Choose(shortForm, "Start", "S");
            return SlotColour(s, Slot::Start);
        case RecordKind::Cds:
            t.Choose(shortForm, "CDS:%u", "%u", p & 1);
            return SlotColour(s, Slot::CdsCts);
        case RecordKind::RegData:
            t.Choose(shortForm, "D:%02X", "%02X", p);
            return SlotColour(s, Slot::DataCmd);
        case RecordKind::Err: {
            // nErr is active low in BiSS-C and active high in BiSS-B.
            const bool active = s.IsBissB() ? (p & 1) != 0 : (p & 1) == 0;
            t.Choose(shortForm, "nErr:%u", "%u", p & 1);
            return active ? kRedIndex : SlotColour(s, Slot::FlagIdlId);
        }
        case RecordKind::Warn:
            t.Choose(shortForm, "nWarn:%u", "%u", p & 1);
            return SlotColour(s, Slot::FlagIdlId);
        case RecordKind::Crc:
            t.Choose(shortForm, "CRC:%02X", "%02X", p);
            return q != 0 ? kRedIndex : kGreenIndex;
        case RecordKind::Stop:
            if ((p & 1) == 0) {
                t.Choose(shortForm, "Stop", "P");
                return SlotColour(s, Slot::StopEx);
            }
            t.Choose(shortForm, "Stop P=1", "P1");
            return SlotColour(s, Slot::FlagIdlId);
        case RecordKind::Cdm:
            t.Choose(shortForm, "CDM:%u", "%u", p & 1);
            return SlotColour(s, Slot::CdsCts);
        case RecordKind::Cts:
            t.Choose(shortForm, "CTS:%u", "%u", p & 1);
            return SlotColour(s, Slot::CdsCts);
        case RecordKind::Ida:
            t.Choose(shortForm, "IDA:%u", "%u", p & 1);
            return SlotColour(s, Slot::WriteIda);
        case RecordKind::Idl: {
            // Nine CDS bits of the address part: an odd value shows all nine, an even one the top
            // eight.
            const uint32_t v = p | ((q & 1) << 8);
            t.Choose(shortForm, "IDL:%03X", "%03X", (p & 1) != 0 ? v : v >> 1);
            return SlotColour(s, Slot::FlagIdlId);
        }
        case RecordKind::Id: {
            const bool isIds = IdIsIds(c);
            char idText[kIdTextSize];
            FormatForLabel(call, s, p, s.ValueTypeSetting(), isIds ? kIdsWidth : kIdWidth, idText);
            if (isIds) {
                t.Choose(shortForm, "IDS:%s", "%s", idText);
                return SlotColour(s, Slot::ReadIds);
            }
            t.Choose(shortForm, "ID:%s", "%s", idText);
            return SlotColour(s, Slot::FlagIdlId);
        }
        case RecordKind::Adr:
            t.Choose(shortForm, "ADR:%02X", "%02X", p & 0x7F);
            return SlotColour(s, Slot::AckAdr);
        case RecordKind::Cmd:
            t.Choose(shortForm, "CMD:%u", "%u", p & 3);
            return SlotColour(s, Slot::DataCmd);
        case RecordKind::ReadWrite:
            if (q != 0) {
                t.Choose(shortForm, "Non-impl", "X");
                return SlotColour(s, Slot::FlagIdlId);
            }
            if ((p & 2) != 0) {
                t.Choose(shortForm, "Read", "R");
                return SlotColour(s, Slot::ReadIds);
            }
            t.Choose(shortForm, "Write", "W");
            return SlotColour(s, Slot::WriteIda);
        case RecordKind::ClockPeriod:
        case RecordKind::FirstFrame:
            return kWhiteIndex;  // no text, the span keeps the plain colour
        case RecordKind::Status:
            return StatusLabel(s, t, shortForm, p, q);
        default:
            // Unknown kinds and the middle record of a value triple: "?" and the kind byte.
            t.Print("?%02X", static_cast<uint32_t>(KindByte(c)));
            return kWhiteIndex;
    }
}

}  // namespace zb
