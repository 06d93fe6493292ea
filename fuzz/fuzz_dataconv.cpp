// Fuzz target: the DataConv export with arbitrary code lists, host flags, settings words, value
// formats and text buffer sizes. The text buffer is a heap block of exactly the given size, so any
// write past it is caught; the label is always terminated inside it, and the colour fields follow
// the documented rules (mask 24 with a table colour, or mask 0 and the colours untouched).
#include <cstdlib>
#include <cstring>
#include <vector>

#include "abi/colour_tables.h"
#include "abi/host_record.h"
#include "fuzz_host.h"

extern "C" uint32_t DataConv(zb::HostRecord* host, uint64_t codeOrList, char* text, uint32_t size);

namespace {
constexpr uint32_t kUntouched = 0xDEADBEEF;
constexpr uint32_t kMaxListCount = 5;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::StartModule();
    zbfuzz::FuzzInput in(data, size);
    zb::HostRecord r{};
    r.hostFlags = in.U32();
    r.hostValueFormat = in.U32();
    r.settingsState = in.U16();
    for (size_t i = 0; i < 40; ++i) r.decoderWords[i] = in.U8();
    const uint32_t bufferSize = in.U16() % 300;
    const bool nullText = (in.U8() & 0x7) == 0;

    // The code: a bare word, or (hostFlags bit 1) a list whose count says how many codes follow.
    std::vector<uint32_t> list;
    uint64_t argument = 0;
    bool haveCode = true;
    if ((r.hostFlags & zb::HostFlag::kCodeList) != 0) {
        const uint32_t count = in.U8() % (kMaxListCount + 1);
        list.push_back(count);
        for (uint32_t i = 0; i < count; ++i) list.push_back(in.U32());
        // An exact-size heap copy: reading past the count is caught.
        auto* exact = static_cast<uint32_t*>(std::malloc(list.size() * sizeof(uint32_t)));
        std::memcpy(exact, list.data(), list.size() * sizeof(uint32_t));
        argument = reinterpret_cast<uintptr_t>(exact);
        haveCode = count > 0;
    } else {
        argument = in.U64();
    }

    char* text = nullText ? nullptr : static_cast<char*>(std::malloc(bufferSize));
    if (text != nullptr && bufferSize > 0) std::memset(text, 0x5A, bufferSize);
    r.labelTextColour = kUntouched;
    r.labelBackColour = kUntouched;
    r.labelColourMask = kUntouched;

    const uint32_t result = DataConv(&r, argument, text, bufferSize);
    ZB_FUZZ_CHECK(result == 1);
    ZB_FUZZ_CHECK2(r.labelColourMask == 0 || r.labelColourMask == 24, r.labelColourMask, 0);
    const bool room = text != nullptr && bufferSize > 0;
    if (room) ZB_FUZZ_CHECK(std::memchr(text, '\0', bufferSize) != nullptr);
    if (!room || !haveCode) {
        ZB_FUZZ_CHECK2(r.labelColourMask == 0, r.labelColourMask, bufferSize);
        ZB_FUZZ_CHECK(r.labelTextColour == kUntouched && r.labelBackColour == kUntouched);
    } else {
        // Every record kind yields a colour when there is a buffer.
        ZB_FUZZ_CHECK2(r.labelColourMask == 24, r.labelColourMask, bufferSize);
        bool known = false;
        for (int i = 0; i < zb::kColourCount; ++i) {
            if (r.labelBackColour == zb::colorTable[i] && r.labelTextColour == zb::textColorTable[i])
                known = true;
        }
        ZB_FUZZ_CHECK2(known, r.labelBackColour, r.labelTextColour);
    }
    ZB_FUZZ_CHECK2(r.dialogResult == 2, r.dialogResult, 0);

    std::free(text);
    if ((r.hostFlags & zb::HostFlag::kCodeList) != 0) std::free(reinterpret_cast<void*>(argument));
    return 0;
}
