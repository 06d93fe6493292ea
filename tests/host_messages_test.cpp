// Host messages: what SetMsgInfo's store keeps for each code and what the getter gives back,
// including the sub-code table of message 5, the length rules of messages 0, 2 and 12, the host's
// identity, and the codes that are ignored.
#include "abi/host_messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace zb {
namespace {

uint64_t Message(uint32_t code, uint32_t subCode = 0) {
    return (uint64_t{subCode} << 16) | code;
}

// The temporary directory (message 0) is kept to 259 characters, the last one sent wins; the list
// (message 2) stops after its all-ones terminator or at 16 values, and so does its getter.
TEST(HostMessages, TextAndListKeepTheirLengths) {
    HostMessageStore store{};
    EXPECT_STREQ(store.tempDirectory, "");
    for (size_t length : {258u, 259u, 260u, 1000u, 3u}) {
        StoreHostMessage(store, Message(0), std::string(length, 'p').c_str());
        EXPECT_EQ(std::strlen(store.tempDirectory), length < 259 ? length : 259u) << length;
    }
    char path[260];
    EXPECT_EQ(GetHostMessage(store, Message(0), path), 1);
    EXPECT_STREQ(path, "ppp");

    const uint32_t terminated[] = {1, 2, 0xFFFFFFFF, 7};
    StoreHostMessage(store, Message(2), terminated);
    uint32_t out[17];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(GetHostMessage(store, Message(2), out), 0);  // stopped at the terminator
    EXPECT_EQ(std::vector<uint32_t>(out, out + 4), (std::vector<uint32_t>{1, 2, 0xFFFFFFFF, 0x55555555}));
    EXPECT_EQ(store.list[3], 0u);

    std::vector<uint32_t> long20(20);
    for (uint32_t i = 0; i < 20; ++i) long20[i] = 100 + i;
    StoreHostMessage(store, Message(2), long20.data());
    EXPECT_EQ(GetHostMessage(store, Message(2), out), 1);
    EXPECT_EQ(std::vector<uint32_t>(out, out + 17), [&] {
        std::vector<uint32_t> v(long20.begin(), long20.begin() + 16);
        v.push_back(0x55555555);  // only 16 values are handed back
        return v;
    }());
}

// Message 5 stores into a table entry chosen by its sub-code (19 is entry 0, 0..18 are 1..19,
// 20..24 themselves); others are ignored. Messages 6, 7 and 8 keep a value of 4, 32 and 8 bytes.
// The sub-code means nothing to the other codes, nor do the bits above 31 of the message.
TEST(HostMessages, ValuesRoundTrip) {
    const std::pair<uint32_t, int> table[] = {{19, 0},  {0, 1},   {18, 19}, {20, 20},
                                              {24, 24}, {23, 23}, {25, -1}, {0xFFFF, -1}};
    for (const auto& [subCode, entry] : table) {
        HostMessageStore store{};
        const uint32_t value = 0x1000 + subCode;
        StoreHostMessage(store, Message(5, subCode), &value);
        uint32_t out = 0xDEAD;
        EXPECT_EQ(GetHostMessage(store, Message(5, subCode), &out), entry < 0 ? 0 : 1) << subCode;
        EXPECT_EQ(out, entry < 0 ? 0xDEADu : value) << subCode;
        if (entry >= 0) {
            EXPECT_EQ(store.table[entry], value) << subCode;
        }
    }
    HostMessageStore store{};
    const uint32_t six = 0x66666666;
    uint8_t seven[32];
    for (int i = 0; i < 32; ++i) seven[i] = static_cast<uint8_t>(i * 3 + 1);
    const uint64_t eight = 0x0123456789ABCDEFull;
    StoreHostMessage(store, Message(6, 7), &six);
    StoreHostMessage(store, (uint64_t{1} << 40) | Message(7), seven);
    StoreHostMessage(store, Message(8), &eight);
    uint32_t outSix = 0;
    uint8_t outSeven[33];
    outSeven[32] = 0xEE;
    uint64_t outEight = 0;
    EXPECT_EQ(GetHostMessage(store, Message(6, 3), &outSix), 1);
    EXPECT_EQ(GetHostMessage(store, Message(7), outSeven), 1);
    EXPECT_EQ(GetHostMessage(store, Message(8), &outEight), 1);
    EXPECT_EQ(outSix, six);
    EXPECT_EQ(std::memcmp(outSeven, seven, 32), 0);
    EXPECT_EQ(outSeven[32], 0xEE);
    EXPECT_EQ(outEight, eight);
}

// Message 10 identifies the host by its exact name, message 11 raises a flag; neither is cleared.
TEST(HostMessages, FlagsAreSetByTheExactNameAndNeverCleared) {
    for (const auto& [text, sets] :
         {std::pair{"Quorbel", true}, {"quorbel", false}, {"Quorbe", false}, {"QuorbelX", false}}) {
        HostMessageStore store{};
        StoreHostMessage(store, Message(10), text);
        uint8_t out;
        EXPECT_EQ(GetHostMessage(store, Message(10), &out), sets ? 1 : 0) << '"' << text << '"';
    }
    HostMessageStore store{};
    StoreHostMessage(store, Message(10), "Quorbel");
    StoreHostMessage(store, Message(10), "Other");
    StoreHostMessage(store, Message(11), nullptr);
    StoreHostMessage(store, Message(11), "anything");
    uint8_t out;
    EXPECT_EQ(GetHostMessage(store, Message(10), &out), 1);
    EXPECT_EQ(GetHostMessage(store, Message(11), &out), 1);
}

// Message 12 is a record whose first word is its length: n bytes are kept (88 when n is 0 or
// larger), the rest is 0, and the stored length reads 88; the getter copies as many bytes as the
// caller's first word asks for (88 for 0 or more), and writes 88 there.
TEST(HostMessages, Block12KeepsNBytesAndReadsBack88) {
    uint8_t record[200];
    for (int i = 0; i < 200; ++i) record[i] = static_cast<uint8_t>(0x80 + i);
    HostMessageStore store{};
    for (const auto& [n, kept] :
         {std::pair{4u, 4u}, {1u, 1u}, {40u, 40u}, {88u, 88u}, {0u, 88u}, {200u, 88u}}) {
        std::memset(store.block12, 0x77, sizeof store.block12);
        std::memcpy(record, &n, 4);
        StoreHostMessage(store, Message(12), record);
        uint32_t first;
        std::memcpy(&first, store.block12, 4);
        EXPECT_EQ(first, 88u) << n;
        for (size_t i = 4; i < 88; ++i)
            ASSERT_EQ(store.block12[i], i < kept ? record[i] : 0) << n << " byte " << i;
    }
    // Read back from the last record kept, all 88 bytes of it.
    for (const auto& [n, copied] : {std::pair{8u, 8u}, {2u, 2u}, {0u, 88u}, {500u, 88u}}) {
        uint8_t out[100];
        std::memset(out, 0xEE, sizeof out);
        std::memcpy(out, &n, 4);
        EXPECT_EQ(GetHostMessage(store, Message(12), out), 1);
        uint32_t first;
        std::memcpy(&first, out, 4);
        EXPECT_EQ(first, 88u) << n;
        for (size_t i = 4; i < sizeof out; ++i)
            ASSERT_EQ(out[i], i < copied ? record[i] : 0xEE) << n << " byte " << i;
    }
}

// Ignored codes and null data store nothing, and the getter answers 0 for them.
TEST(HostMessages, IgnoredCodesAndNullData) {
    HostMessageStore store, empty;
    std::memset(&store, 0, sizeof store);
    std::memset(&empty, 0, sizeof empty);
    const uint32_t value = 0x12345678;
    for (uint32_t code : {1u, 3u, 4u, 9u, 13u, 100u, 0xFFFFu}) StoreHostMessage(store, Message(code), &value);
    for (uint32_t code : {0u, 2u, 5u, 6u, 7u, 8u, 10u, 12u})
        StoreHostMessage(store, Message(code, 19), nullptr);
    EXPECT_EQ(std::memcmp(&store, &empty, sizeof store), 0);
    uint32_t out[64] = {};
    for (uint32_t code : {1u, 3u, 4u, 9u, 13u, 0xFFFFu})
        EXPECT_EQ(GetHostMessage(store, Message(code), out), 0);
    for (uint32_t code : {0u, 2u, 5u, 6u, 7u, 8u, 10u, 11u, 12u})
        EXPECT_EQ(GetHostMessage(store, Message(code, 19), nullptr), 0) << code;
}

}  // namespace
}  // namespace zb
