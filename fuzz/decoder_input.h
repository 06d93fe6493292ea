// The decoder target's input: the settings words and host fields first, then the capture as a
// stream of changes, two bits of levels and a short step each. make_seeds.cpp writes generated
// captures in this form; fuzz_decoder.cpp reads any byte string as one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace zbfuzz {

// Bits of DecoderInput::options.
enum DecoderOption : uint8_t {
    kReportCallback = 0x01,  // a report through the row callback
    kReportBlock = 0x02,     // a report through the named block (when the callback bit is clear)
    kStopRequest = 0x04,     // the host sets its stop word after stopAfter queries
    kHighPositions = 0x08,   // the capture starts near the end of the signed 64-bit range
    kRawCursors = 0x10,      // cursors, first/last valid sample and lastSample taken raw
    kShortLabels = 0x20,
};

struct DecoderInput {
    uint32_t optionWord = 0, colourWord = 0, auxWord = 0;
    int32_t singleTurnBits = 0, crcBits = 0;
    uint32_t crcPolynomial = 0, crcInitial = 0;
    int32_t alignmentBits = 0, protocol = 0;
    uint16_t settingsState = 0;
    uint8_t maChannel = 0, sloChannel = 1;
    uint8_t options = 0;
    uint16_t stopAfter = 0;
    uint16_t tail = 0;                                      // samples after the last change
    uint32_t sampleRate = 0;                                // samples per second
    int64_t cursor[6] = {};                                 // relative to the first change unless kRawCursors
    int64_t firstValid = 0, lastValid = 0, lastSample = 0;  // used with kRawCursors
    struct Step {
        uint64_t delta;  // samples since the previous change (the first is at the start)
        uint8_t ma, slo;
    };
    std::vector<Step> steps;
};

// A step of 1..62 samples takes one byte; longer ones three more bytes (up to 65,598 samples).
constexpr uint32_t kShortStepMax = 62;
constexpr uint8_t kLongStep = 63;
constexpr uint16_t kHugeJump = 0x8000;

inline void PutU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
inline void PutU32(std::string& out, uint32_t v) {
    PutU16(out, static_cast<uint16_t>(v));
    PutU16(out, static_cast<uint16_t>(v >> 16));
}
inline void PutU64(std::string& out, uint64_t v) {
    PutU32(out, static_cast<uint32_t>(v));
    PutU32(out, static_cast<uint32_t>(v >> 32));
}

inline std::string EncodeDecoderInput(const DecoderInput& in) {
    std::string out;
    PutU32(out, in.optionWord);
    PutU32(out, in.colourWord);
    PutU32(out, in.auxWord);
    PutU32(out, static_cast<uint32_t>(in.singleTurnBits));
    PutU32(out, static_cast<uint32_t>(in.crcBits));
    PutU32(out, in.crcPolynomial);
    PutU32(out, in.crcInitial);
    PutU32(out, static_cast<uint32_t>(in.alignmentBits));
    PutU32(out, static_cast<uint32_t>(in.protocol));
    PutU16(out, in.settingsState);
    out.push_back(static_cast<char>(in.maChannel));
    out.push_back(static_cast<char>(in.sloChannel));
    out.push_back(static_cast<char>(in.options));
    PutU16(out, in.stopAfter);
    PutU16(out, in.tail);
    PutU32(out, in.sampleRate);
    for (int64_t c : in.cursor) PutU64(out, static_cast<uint64_t>(c));
    PutU64(out, static_cast<uint64_t>(in.firstValid));
    PutU64(out, static_cast<uint64_t>(in.lastValid));
    PutU64(out, static_cast<uint64_t>(in.lastSample));
    for (const DecoderInput::Step& s : in.steps) {
        const uint8_t levels = static_cast<uint8_t>((s.ma & 1) | ((s.slo & 1) << 1));
        if (s.delta >= 1 && s.delta <= kShortStepMax) {
            out.push_back(static_cast<char>(((s.delta - 1) << 2) | levels));
        } else {
            out.push_back(static_cast<char>((kLongStep << 2) | levels));
            const uint64_t d = s.delta > 32767 + kShortStepMax + 1 ? 32767 : s.delta - (kShortStepMax + 1);
            PutU16(out, static_cast<uint16_t>(s.delta <= kShortStepMax ? 0 : d));
        }
    }
    return out;
}

inline DecoderInput DecodeDecoderInput(FuzzInput& in) {
    DecoderInput d;
    d.optionWord = in.U32();
    d.colourWord = in.U32();
    d.auxWord = in.U32();
    d.singleTurnBits = static_cast<int32_t>(in.U32());
    d.crcBits = static_cast<int32_t>(in.U32());
    d.crcPolynomial = in.U32();
    d.crcInitial = in.U32();
    d.alignmentBits = static_cast<int32_t>(in.U32());
    d.protocol = static_cast<int32_t>(in.U32());
    d.settingsState = in.U16();
    d.maChannel = in.U8();
    d.sloChannel = in.U8();
    d.options = in.U8();
    d.stopAfter = in.U16();
    d.tail = in.U16();
    d.sampleRate = in.U32();
    for (int64_t& c : d.cursor) c = static_cast<int64_t>(in.U64());
    d.firstValid = static_cast<int64_t>(in.U64());
    d.lastValid = static_cast<int64_t>(in.U64());
    d.lastSample = static_cast<int64_t>(in.U64());
    while (!in.Empty()) {
        const uint8_t b = in.U8();
        DecoderInput::Step s;
        s.ma = b & 1;
        s.slo = (b >> 1) & 1;
        const uint8_t code = b >> 2;
        if (code != kLongStep) {
            s.delta = code + 1u;
        } else {
            // A long step; with its top bit set, a jump of 2^k samples, as a host with huge gaps
            // between its changes may report.
            const uint16_t x = in.U16();
            s.delta = (x & kHugeJump) ? uint64_t{1} << (x & 62) : kShortStepMax + 1u + x;
        }
        d.steps.push_back(s);
    }
    return d;
}

}  // namespace zbfuzz
