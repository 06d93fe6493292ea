// Fuzz target: the host's small calls with arbitrary input. DataConv with arbitrary code lists,
// host flags, settings words, value formats and text buffer sizes: the buffer is a heap block of
// exactly the given size, so any write past it is caught; the label is always terminated inside
// it, and the colour fields follow the documented rules (mask 24 with a table colour, or mask 0
// and the colours untouched). The settings words taken in and normalised: version 4 after, and a
// second normalisation changes nothing. Then host messages through SetMsgInfo and the getter,
// each with data of exactly the size its code defines, so a read past it is caught.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "abi/colour_tables.h"
#include "abi/decoder_settings.h"
#include "abi/host_messages.h"
#include "abi/host_record.h"
#include "fuzz_host.h"
#include "plugin/module_state.h"

extern "C" uint32_t DataConv(zb::HostRecord* host, uint64_t codeOrList, char* text, uint32_t size);

namespace {

constexpr uint32_t kUntouched = 0xDEADBEEF;
constexpr uint32_t kMaxListCount = 5;

// A heap copy of exactly `size` bytes (at least one), so that reading past it is caught.
uint8_t* Exact(const void* data, size_t size) {
    auto* p = static_cast<uint8_t*>(std::malloc(size == 0 ? 1 : size));
    if (data != nullptr) std::memcpy(p, data, size);
    return p;
}

void FuzzDataConv(zbfuzz::FuzzInput& in, zb::HostRecord& r) {
    const uint32_t bufferSize = in.U16() % 300;
    const bool nullText = (in.U8() & 0x7) == 0;
    // The code: a bare word, or (hostFlags bit 1) a list whose count says how many codes follow.
    std::vector<uint32_t> list;
    uint8_t* exactList = nullptr;
    uint64_t argument = 0;
    bool haveCode = true;
    if ((r.hostFlags & zb::HostFlag::kCodeList) == 0) {
        argument = in.U64();
    } else {
        const uint32_t count = in.U8() % (kMaxListCount + 1);
        list.push_back(count);
        for (uint32_t i = 0; i < count; ++i) list.push_back(in.U32());
        exactList = Exact(list.data(), list.size() * sizeof(uint32_t));
        argument = reinterpret_cast<uintptr_t>(exactList);
        haveCode = count > 0;
    }
    char* text = nullText ? nullptr : reinterpret_cast<char*>(Exact(nullptr, bufferSize));
    if (text != nullptr && bufferSize > 0) std::memset(text, 0x5A, bufferSize);
    r.labelTextColour = r.labelBackColour = r.labelColourMask = kUntouched;

    ZB_FUZZ_CHECK(DataConv(&r, argument, text, bufferSize) == 1);
    ZB_FUZZ_CHECK2(r.labelColourMask == 0 || r.labelColourMask == 24, r.labelColourMask, 0);
    const bool room = text != nullptr && bufferSize > 0;
    if (room) ZB_FUZZ_CHECK(std::memchr(text, '\0', bufferSize) != nullptr);
    if (!room || !haveCode) {
        ZB_FUZZ_CHECK2(r.labelColourMask == 0, r.labelColourMask, bufferSize);
        ZB_FUZZ_CHECK(r.labelTextColour == kUntouched && r.labelBackColour == kUntouched);
    } else {
        // Every record kind yields a colour of the table when there is a buffer.
        ZB_FUZZ_CHECK2(r.labelColourMask == 24, r.labelColourMask, bufferSize);
        bool known = false;
        for (int i = 0; i < zb::kColourCount; ++i)
            known |= r.labelBackColour == zb::colorTable[i] && r.labelTextColour == zb::textColorTable[i];
        ZB_FUZZ_CHECK2(known, r.labelBackColour, r.labelTextColour);
    }
    ZB_FUZZ_CHECK2(r.dialogResult == 2, r.dialogResult, 0);
    std::free(text);
    std::free(exactList);
}

void FuzzSettings(const zb::HostRecord& r) {
    zb::DecoderSettings block;
    zb::CopySettingsIn(r, block);
    zb::SettingsView view(&block);
    view.Normalise();
    ZB_FUZZ_CHECK2(block.settingsState == 9, block.settingsState, 0);
    const int32_t p = view.PositionBits();
    ZB_FUZZ_CHECK2(p >= 0 && p <= view.EffectiveDataLength(), p, view.EffectiveDataLength());
    ZB_FUZZ_CHECK2(view.Alignment() >= 0 && view.MultiTurnBits() >= 0, view.Alignment(),
                   view.MultiTurnBits());
    zb::DecoderSettings again = block;
    zb::SettingsView(&again).Normalise();
    ZB_FUZZ_CHECK(std::memcmp(&again, &block, sizeof block) == 0);
    zb::HostRecord back{};
    zb::CopySettingsOut(block, back);
    ZB_FUZZ_CHECK(std::memcmp(back.decoderWords, &block.optionWord, zb::kDecoderWordsSize) == 0);
}

// The size of the data a host passes with message `code` (its first u32 for message 12).
size_t MessageDataSize(uint32_t code, const uint8_t* bytes, size_t textSize) {
    if (code == 0 || code == 10) return textSize;  // a text and its NUL
    if (code == 12) {
        uint32_t n = 0;
        std::memcpy(&n, bytes, 4);
        return n >= 4 && n <= 88 ? n : 88;
    }
    const size_t sizes[] = {0, 96, 16 * sizeof(uint32_t), 96, 96, 4, 4, 32, 8};  // by code
    return code < 9 ? sizes[code] : 96;
}

void FuzzMessages(zbfuzz::FuzzInput& in) {
    while (!in.Empty()) {
        const uint32_t code = in.U8() % 15;
        const uint64_t message = code | (uint64_t{in.U16()} << 16) | (uint64_t{in.U32()} << 32);
        const std::string payload = in.Text(255);
        std::vector<uint8_t> bytes(std::max<size_t>(96, payload.size() + 1), 0);
        std::memcpy(bytes.data(), payload.data(), payload.size());
        uint8_t* data = Exact(bytes.data(), MessageDataSize(code, bytes.data(), payload.size() + 1));
        const bool none = (in.U8() & 7) == 0;
        SetMsgInfo(message, none ? nullptr : data);

        // The getter: every output is a heap block of the size the message gives back.
        const zb::HostMessageStore& store = zb::Module().messages;
        ZB_FUZZ_CHECK(std::memchr(store.tempDirectory, '\0', sizeof store.tempDirectory) != nullptr);
        const size_t outSize = code == 0 ? 260 : code == 2 ? 64 : code == 7 ? 32 : code == 12 ? 88 : 8;
        uint8_t* out = Exact(nullptr, outSize);
        std::memset(out, 0, outSize);
        if (code == 12) out[0] = 88;
        const uint8_t got = zb::GetHostMessage(store, message, out);
        if (code == 0) {
            ZB_FUZZ_CHECK(got == 1 && std::memchr(out, '\0', 260) != nullptr);
            if (!none) ZB_FUZZ_CHECK(std::strncmp(reinterpret_cast<char*>(out), payload.c_str(), 259) == 0);
        }
        if (code == 12) ZB_FUZZ_CHECK2(out[0] == 88 && out[1] == 0, out[0], out[1]);
        if (code == 1 || code == 3 || code == 4 || code == 9 || code > 12) ZB_FUZZ_CHECK(got == 0);
        ZB_FUZZ_CHECK(zb::GetHostMessage(store, message, nullptr) == 0);
        std::free(out);
        std::free(data);
    }
    // Leave the temporary directory of the module as it was.
    SetMsgInfo(0, zbfuzz::StartModule().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::StartModule();
    zbfuzz::FuzzInput in(data, size);
    zb::HostRecord r{};
    r.hostFlags = in.U32();
    r.hostValueFormat = in.U32();
    r.settingsState = in.U16();
    for (size_t i = 0; i < 40; ++i) r.decoderWords[i] = in.U8();
    FuzzDataConv(in, r);
    FuzzSettings(r);
    FuzzMessages(in);
    return 0;
}
