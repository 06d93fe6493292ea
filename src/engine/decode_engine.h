// The module's single analysis object: the two result stores and the decode stages of one Analysis
// call - the frame parser (frame_parser.*) and the register-access assembler it feeds
// (register_access.*), both writing to the record output (record_output.*). The driver
// (analysis_driver.cpp, auto_length.cpp) configures them from the settings and walks the capture.
// The engine is bound to the call context through which it reaches the host (samples, stop word,
// progress) and finds the temporary directory.
#pragma once

#include <cstdint>

#include "abi/call_context.h"
#include "abi/decoder_settings.h"
#include "engine/frame_parser.h"
#include "engine/record_output.h"
#include "engine/register_access.h"

namespace zb {

// Capture channels the host can deliver: 16 bytes of levels, channel c is bit c%8 of byte c/8.
constexpr int32_t kCaptureChannels = 128;
constexpr int kChannelStateBytes = 16;

// The level of one channel in a 16-byte channel state. A channel outside 0..127 has no bit in the
// state and reads as 0: a line the host does not carry is a line held low.
inline uint32_t ChannelLevel(const uint8_t* state, int32_t channel) {
    if (channel < 0 || channel >= kCaptureChannels) return 0;
    return (state[channel >> 3] >> (channel & 7)) & 1u;
}

// What a walk reads: the decode range [rangeStart, rangeEnd) and the channels of MA and SLO.
struct CaptureLines {
    int64_t rangeStart = 0;
    int64_t rangeEnd = 0;
    int32_t maChannel = 0;
    int32_t sloChannel = 1;
};

class DecodeEngine {
  public:
    explicit DecodeEngine(CallContext& call) : call_(call) {}
    DecodeEngine(const DecodeEngine&) = delete;
    DecodeEngine& operator=(const DecodeEngine&) = delete;

    // The context of the calls this engine works for.
    CallContext& Call() const { return call_; }
    // The records of the last decode; the host reads the stores' arrays.
    RecordOutput& Records() { return records_; }
    FrameParser& Parser() { return parser_; }
    RegisterAssembler& Assembler() { return assembler_; }

    // Empties both stores. A store that has no file yet names and creates one in the context's
    // temporary directory.
    void ResetRecords() { records_.Reset(call_.tempDirectory); }
    // Empties both stores and leaves in them only the failure record (0, code 0).
    void StoreFailureRecord() { records_.StoreFailure(call_.tempDirectory); }

  private:
    CallContext& call_;
    RecordOutput records_;
    RegisterAssembler assembler_{records_};
    FrameParser parser_{records_, assembler_};
};

// The analysis driver (analysis_driver.cpp).
// Decodes the capture of the context's host record with these settings into the engine's stores
// and hands out the finished arrays; returns the record count (1 with the record (0, code 0) when
// the decode failed).
uint32_t AnalyseCapture(DecodeEngine& engine, DecoderSettings* settings, const int64_t** positions,
                        const uint32_t** codes);
// The decode proper; false when nothing usable was decoded.
bool RunDecode(DecodeEngine& engine, DecoderSettings* settings);
// The auto-length pass (auto_length.cpp): a data length 1..62 found by CRC matches on the lines, or
// -1. The clock period it measured on the way goes to `clockEstimate`.
int32_t DetectDataLength(CallContext& call, const CaptureLines& lines, const FrameCrcParams& crc, bool hasCds,
                         int64_t& clockEstimate);

}  // namespace zb
