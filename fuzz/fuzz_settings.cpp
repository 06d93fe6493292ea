// Fuzz target: arbitrary 1256-byte settings blocks through the copy to and from the host record,
// Normalise and every SettingsView getter, then arbitrary host messages through SetMsgInfo and the
// message-info getter. Data handed to a message is a heap block of exactly the size the message
// defines, so a read past it is caught.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "abi/decoder_settings.h"
#include "abi/host_messages.h"
#include "fuzz_host.h"
#include "plugin/module_state.h"

namespace {

using zb::DecoderSettings;
using zb::SettingsView;

void CheckGetters(const SettingsView& v) {
    for (size_t i = 0; i < 4; ++i) ZB_FUZZ_CHECK(v.Channel(i) <= 0xFFFF && (i < 2 || v.Channel(i) == 0));
    for (uint32_t k = 0; k < 12; ++k)
        ZB_FUZZ_CHECK(v.ColourSlot(k) <= 15 && (k <= 8 || v.ColourSlot(k) == 0));
    ZB_FUZZ_CHECK2(v.SloPhase() >= -127 && v.SloPhase() <= 127, v.SloPhase(), 0);
    ZB_FUZZ_CHECK(v.RegisterColumns() == 8 || v.RegisterColumns() == 16);
    ZB_FUZZ_CHECK(v.ConfiguredCrcBits() >= 1 && v.ConfiguredCrcBits() <= 16);
    ZB_FUZZ_CHECK(v.EffectiveCrcBits() >= 1 && v.EffectiveCrcBits() <= 16);
    ZB_FUZZ_CHECK(v.ConfiguredCrcMask() == (1u << v.ConfiguredCrcBits()) - 1);
    ZB_FUZZ_CHECK(!v.IsRegisterMode() || (v.EffectiveCrcBits() == 4 && v.EffectiveCrcPolynomial() == 0x13 &&
                                          v.EffectiveCrcInitial() == 0));
    const int32_t length = v.DataLength();
    ZB_FUZZ_CHECK2(length >= 0 && length <= 255, length, 0);
    ZB_FUZZ_CHECK2(v.Alignment() >= 0 && v.Alignment() <= (length < 1 ? 0 : length - 1), v.Alignment(),
                   length);
    const int32_t effective = v.EffectiveDataLength();
    ZB_FUZZ_CHECK2(effective >= 0 && effective <= 255, effective, 0);
    ZB_FUZZ_CHECK2(v.PositionBits() >= 0 && v.PositionBits() <= effective, v.PositionBits(), effective);
    // positionBits - singleTurnBits, at least 0 (a negative stored single-turn count gives more).
    const int64_t mt = int64_t{v.PositionBits()} - v.SingleTurnBits();
    ZB_FUZZ_CHECK2(v.MultiTurnBits() == (mt < 1           ? 0
                                         : mt > INT32_MAX ? INT32_MAX
                                                          : mt),
                   v.MultiTurnBits(), mt);
    ZB_FUZZ_CHECK(v.ProtocolSetting() == zb::Protocol::BissC || v.ProtocolSetting() == zb::Protocol::BissB);
    for (size_t i = 0; i < 8; ++i) (void)v.CursorPosition(i);
}

// The size of the data a host passes with message `code` (its first u32 for message 12).
size_t MessageDataSize(uint32_t code, const std::vector<uint8_t>& bytes) {
    switch (code) {
        case 0:
        case 10:
            return bytes.size();  // a text; the caller terminates it
        case 2:
            return 16 * sizeof(uint32_t);
        case 5:
        case 6:
            return 4;
        case 7:
            return 32;
        case 8:
            return 8;
        case 12: {
            uint32_t n = 0;
            std::memcpy(&n, bytes.data(), 4);
            return n >= 4 && n <= 88 ? n : 88;
        }
        default:
            return bytes.size();
    }
}

void FuzzMessages(zbfuzz::FuzzInput& in) {
    while (!in.Empty()) {
        const uint32_t code = in.U8() % 15;
        const uint64_t message = code | (uint64_t{in.U16()} << 16) | (uint64_t{in.U32()} << 32);
        std::vector<uint8_t> bytes(96, 0);
        const std::string payload = in.Text(255);
        std::memcpy(bytes.data(), payload.data(), std::min<size_t>(payload.size(), bytes.size()));
        if (code == 0 || code == 10) bytes.assign(payload.begin(), payload.end());
        size_t dataSize = MessageDataSize(code, bytes);
        if (code == 0 || code == 10) {
            bytes.push_back(0);
            dataSize = bytes.size();
        }
        const bool null = (in.U8() & 7) == 0;
        auto* exact = static_cast<uint8_t*>(std::malloc(dataSize == 0 ? 1 : dataSize));
        std::memcpy(exact, bytes.data(), std::min(dataSize, bytes.size()));
        SetMsgInfo(message, null ? nullptr : exact);

        // The getter: every output is a heap block of the size the message gives back.
        const zb::HostMessageStore& store = zb::Module().messages;
        ZB_FUZZ_CHECK(std::memchr(store.tempDirectory, '\0', sizeof store.tempDirectory) != nullptr);
        uint32_t block12[22] = {88};
        const size_t outSize = code == 0 ? 260 : code == 2 ? 64 : code == 7 ? 32 : code == 12 ? 88 : 8;
        auto* out = static_cast<uint8_t*>(std::malloc(outSize));
        std::memset(out, 0, outSize);
        if (code == 12) std::memcpy(out, block12, 4);
        const uint8_t got = zb::GetHostMessage(store, message, out);
        if (code == 0) {
            ZB_FUZZ_CHECK(got == 1 && std::memchr(out, '\0', 260) != nullptr);
            if (!null) {
                ZB_FUZZ_CHECK(
                    std::strncmp(reinterpret_cast<char*>(out), reinterpret_cast<char*>(exact), 259) == 0);
            }
        }
        if (code == 12) {
            uint32_t first = 0;
            std::memcpy(&first, out, 4);
            ZB_FUZZ_CHECK2(first == 88, first, 0);
        }
        if (code == 1 || code == 3 || code == 4 || code == 9 || code > 12) ZB_FUZZ_CHECK(got == 0);
        ZB_FUZZ_CHECK(zb::GetHostMessage(store, message, nullptr) == 0);
        std::free(out);
        std::free(exact);
    }
    // Leave the temporary directory of the module as it was.
    SetMsgInfo(0, zbfuzz::TempDir().c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zbfuzz::StartModule();
    zbfuzz::FuzzInput in(data, size);

    DecoderSettings block;
    std::memset(&block, 0, sizeof block);
    for (size_t i = 0; i < sizeof block && !in.Empty(); ++i) reinterpret_cast<uint8_t*>(&block)[i] = in.U8();
    SettingsView view(&block);
    CheckGetters(view);

    // Through the host record and back: the settings fields survive unchanged.
    zb::HostRecord host{};
    zb::CopySettingsOut(block, host);
    ZB_FUZZ_CHECK(host.dialogResult == (block.dialogAccepted != 0 ? 1u : 2u));
    DecoderSettings back;
    std::memset(&back, 0xA5, sizeof back);
    zb::CopySettingsIn(host, back);
    ZB_FUZZ_CHECK(back.size == zb::kSettingsBlockSize && back.dialogAccepted == 0);
    ZB_FUZZ_CHECK(std::memcmp(&back.captureChannelCount, &block.captureChannelCount,
                              offsetof(DecoderSettings, dialogAccepted) -
                                  offsetof(DecoderSettings, captureChannelCount)) == 0);
    ZB_FUZZ_CHECK(back.sampleRate == block.sampleRate && back.carried0FC == block.carried0FC &&
                  back.settingsState == block.settingsState);
    ZB_FUZZ_CHECK(std::memcmp(back.channelTable, block.channelTable, sizeof block.channelTable) == 0);
    ZB_FUZZ_CHECK(std::memcmp(&back.optionWord, &block.optionWord, zb::kDecoderWordsSize) == 0);

    const bool wasInitialised = view.IsInitialised();
    view.Normalise();
    ZB_FUZZ_CHECK2(block.settingsState == 9, block.settingsState, 0);
    CheckGetters(view);
    const int32_t p = view.PositionBits();
    if (wasInitialised) ZB_FUZZ_CHECK2(p <= 0 || view.SingleTurnBits() <= p, view.SingleTurnBits(), p);
    DecoderSettings again = block;
    SettingsView(&again).Normalise();
    ZB_FUZZ_CHECK(std::memcmp(&again, &block, sizeof block) == 0);

    FuzzMessages(in);
    return 0;
}
