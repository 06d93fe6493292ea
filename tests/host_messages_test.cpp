// Host messages: what SetMsgInfo's store keeps for each code and what the getter gives back,
// including the sub-code table of message 5, the length rule of message 12 and ignored codes.
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

// Field by field: the store has padding that a byte comparison would also look at.
bool IsEmpty(const HostMessageStore& s) {
    const HostMessageStore e{};
    return std::memcmp(s.tempDirectory, e.tempDirectory, sizeof e.tempDirectory) == 0 &&
           std::memcmp(s.list, e.list, sizeof e.list) == 0 &&
           std::memcmp(s.table, e.table, sizeof e.table) == 0 && s.value6 == 0 &&
           std::memcmp(s.block7, e.block7, sizeof e.block7) == 0 && s.value8 == 0 && !s.hostIdentified &&
           !s.flag11 && std::memcmp(s.block12, e.block12, sizeof e.block12) == 0;
}

class HostMessages : public ::testing::Test {
  protected:
    HostMessageStore store_{};
};

TEST_F(HostMessages, TempDirectoryIsStoredAndReturned) {
    StoreHostMessage(store_, Message(0), "C:\\Temp\\work\\");
    EXPECT_STREQ(store_.tempDirectory, "C:\\Temp\\work\\");
    char out[260];
    std::memset(out, 'x', sizeof out);
    EXPECT_EQ(GetHostMessage(store_, Message(0), out), 1);
    EXPECT_STREQ(out, "C:\\Temp\\work\\");
    // A shorter path replaces the longer one completely.
    StoreHostMessage(store_, Message(0), "D:\\");
    EXPECT_STREQ(store_.tempDirectory, "D:\\");
}

TEST_F(HostMessages, TempDirectoryIsCutTo259Characters) {
    for (size_t length : {258u, 259u, 260u, 1000u}) {
        const std::string path(length, 'p');
        StoreHostMessage(store_, Message(0), path.c_str());
        EXPECT_EQ(std::strlen(store_.tempDirectory), length < 259 ? length : 259u) << length;
    }
}

TEST_F(HostMessages, NoTempDirectoryMeansAnEmptyPrefix) {
    EXPECT_STREQ(store_.tempDirectory, "");
}

TEST_F(HostMessages, ListStopsAfterTheTerminator) {
    const uint32_t values[] = {1, 2, 0xFFFFFFFF, 7};
    StoreHostMessage(store_, Message(2), values);
    const HostMessageStore& store = store_;
    EXPECT_EQ(store.list[0], 1u);
    EXPECT_EQ(store.list[1], 2u);
    EXPECT_EQ(store.list[2], 0xFFFFFFFFu);
    EXPECT_EQ(store.list[3], 0u);

    uint32_t out[16];
    std::memset(out, 0x55, sizeof out);
    EXPECT_EQ(GetHostMessage(store_, Message(2), out), 0);  // stopped at the terminator
    EXPECT_EQ(out[0], 1u);
    EXPECT_EQ(out[1], 2u);
    EXPECT_EQ(out[2], 0xFFFFFFFFu);
    EXPECT_EQ(out[3], 0x55555555u);  // not written past the terminator
}

TEST_F(HostMessages, ListWithoutTerminatorKeepsSixteenValues) {
    std::vector<uint32_t> values(20);
    for (uint32_t i = 0; i < 20; ++i) values[i] = 100 + i;
    StoreHostMessage(store_, Message(2), values.data());
    uint32_t out[17];
    out[16] = 0xABCD;
    EXPECT_EQ(GetHostMessage(store_, Message(2), out), 1);
    for (uint32_t i = 0; i < 16; ++i) EXPECT_EQ(out[i], 100 + i);
    EXPECT_EQ(out[16], 0xABCDu);  // only 16 values are handed back
}

TEST_F(HostMessages, TableEntryIsChosenBySubCode) {
    struct Row {
        uint32_t subCode;
        int entry;  // -1: past the table, ignored
    };
    const Row rows[] = {{19, 0}, {0, 1}, {18, 19}, {20, 20}, {24, 24}, {23, 23}, {25, -1}, {0xFFFF, -1}};
    for (const Row& r : rows) {
        store_ = HostMessageStore{};
        const uint32_t value = 0x1000 + r.subCode;
        StoreHostMessage(store_, Message(5, r.subCode), &value);
        uint32_t out = 0xDEAD;
        if (r.entry < 0) {
            for (uint32_t v : store_.table) EXPECT_EQ(v, 0u) << "sub-code " << r.subCode;
            EXPECT_EQ(GetHostMessage(store_, Message(5, r.subCode), &out), 0) << r.subCode;
            EXPECT_EQ(out, 0xDEADu);
        } else {
            EXPECT_EQ(store_.table[r.entry], value) << "sub-code " << r.subCode;
            EXPECT_EQ(GetHostMessage(store_, Message(5, r.subCode), &out), 1);
            EXPECT_EQ(out, value);
        }
    }
}

TEST_F(HostMessages, PlainValuesRoundTrip) {
    const uint32_t six = 0x66666666;
    uint8_t seven[32];
    for (int i = 0; i < 32; ++i) seven[i] = static_cast<uint8_t>(i * 3 + 1);
    const uint64_t eight = 0x0123456789ABCDEFull;
    StoreHostMessage(store_, Message(6), &six);
    StoreHostMessage(store_, Message(7), seven);
    StoreHostMessage(store_, Message(8), &eight);

    uint32_t outSix = 0;
    uint8_t outSeven[33];
    outSeven[32] = 0xEE;
    uint64_t outEight = 0;
    EXPECT_EQ(GetHostMessage(store_, Message(6), &outSix), 1);
    EXPECT_EQ(GetHostMessage(store_, Message(7), outSeven), 1);
    EXPECT_EQ(GetHostMessage(store_, Message(8), &outEight), 1);
    EXPECT_EQ(outSix, six);
    EXPECT_EQ(std::memcmp(outSeven, seven, 32), 0);
    EXPECT_EQ(outSeven[32], 0xEE);
    EXPECT_EQ(outEight, eight);
}

TEST_F(HostMessages, HostIdentityNeedsTheExactName) {
    struct Row {
        const char* text;
        bool sets;
    };
    const Row rows[] = {{"Quorbel", true}, {"quorbel", false}, {"Quorbel ", false},
                        {"Quorbe", false}, {"", false},        {"QuorbelX", false}};
    for (const Row& r : rows) {
        store_ = HostMessageStore{};
        StoreHostMessage(store_, Message(10), r.text);
        uint8_t out;
        EXPECT_EQ(GetHostMessage(store_, Message(10), &out), r.sets ? 1 : 0) << '"' << r.text << '"';
    }
}

TEST_F(HostMessages, FlagsAreNeverCleared) {
    StoreHostMessage(store_, Message(10), "Quorbel");
    StoreHostMessage(store_, Message(10), "Other");
    StoreHostMessage(store_, Message(11), nullptr);
    StoreHostMessage(store_, Message(11), "anything");
    uint8_t out;
    EXPECT_EQ(GetHostMessage(store_, Message(10), &out), 1);
    EXPECT_EQ(GetHostMessage(store_, Message(11), &out), 1);
}

TEST_F(HostMessages, Block12KeepsNBytesAndReadsBack88) {
    struct Row {
        uint32_t n;
        size_t kept;  // bytes of the sender's record that land in the store
    };
    const Row rows[] = {{4, 4}, {1, 1}, {40, 40}, {88, 88}, {0, 88}, {89, 88}, {200, 88}};
    for (const Row& r : rows) {
        store_ = HostMessageStore{};
        std::memset(store_.block12, 0x77, sizeof store_.block12);
        uint8_t record[200];
        for (int i = 0; i < 200; ++i) record[i] = static_cast<uint8_t>(0x80 + i);
        std::memcpy(record, &r.n, 4);
        StoreHostMessage(store_, Message(12), record);

        const uint8_t* block = store_.block12;
        uint32_t first;
        std::memcpy(&first, block, 4);
        EXPECT_EQ(first, 88u) << "n " << r.n;
        for (size_t i = 4; i < 88; ++i) {
            ASSERT_EQ(block[i], i < r.kept ? record[i] : 0) << "n " << r.n << " byte " << i;
        }
    }
}

TEST_F(HostMessages, Block12GetterCopiesWhatTheCallerAsksFor) {
    uint8_t record[88];
    for (int i = 0; i < 88; ++i) record[i] = static_cast<uint8_t>(i + 1);
    const uint32_t n88 = 88;
    std::memcpy(record, &n88, 4);
    StoreHostMessage(store_, Message(12), record);

    struct Row {
        uint32_t n;
        size_t copied;
        uint32_t firstAfter;
    };
    const Row rows[] = {{8, 8, 88}, {4, 4, 88}, {2, 2, 88}, {0, 88, 88}, {500, 88, 88}};
    for (const Row& r : rows) {
        uint8_t out[100];
        std::memset(out, 0xEE, sizeof out);
        std::memcpy(out, &r.n, 4);
        EXPECT_EQ(GetHostMessage(store_, Message(12), out), 1);
        for (size_t i = 4; i < sizeof out; ++i) {
            ASSERT_EQ(out[i], i < r.copied ? record[i] : 0xEE) << "n " << r.n << " byte " << i;
        }
        uint32_t first;
        std::memcpy(&first, out, 4);
        EXPECT_EQ(first, r.firstAfter) << "n " << r.n;
    }
}

TEST_F(HostMessages, IgnoredCodesAndNullDataChangeNothing) {
    const uint32_t value = 0x12345678;
    for (uint32_t code : {1u, 3u, 4u, 9u, 13u, 100u, 0xFFFFu})
        StoreHostMessage(store_, Message(code), &value);
    for (uint32_t code : {0u, 2u, 5u, 6u, 7u, 8u, 10u, 12u})
        StoreHostMessage(store_, Message(code, 19), nullptr);
    EXPECT_TRUE(IsEmpty(store_));

    uint32_t out[64] = {};
    for (uint32_t code : {1u, 3u, 4u, 9u, 13u, 0xFFFFu})
        EXPECT_EQ(GetHostMessage(store_, Message(code), out), 0) << code;
    for (uint32_t code : {0u, 2u, 5u, 6u, 7u, 8u, 10u, 11u, 12u}) {
        EXPECT_EQ(GetHostMessage(store_, Message(code, 19), nullptr), 0) << code;
    }
}

TEST_F(HostMessages, SubCodeDoesNotChangeTheMeaningOfOtherCodes) {
    const uint32_t value = 42;
    StoreHostMessage(store_, Message(6, 7), &value);
    uint32_t out = 0;
    EXPECT_EQ(GetHostMessage(store_, Message(6, 3), &out), 1);
    EXPECT_EQ(out, 42u);
    // Bits above 31 of the message argument are not part of the code either.
    StoreHostMessage(store_, (uint64_t{1} << 40) | 6, &value);
    EXPECT_EQ(store_.value6, 42u);
}

}  // namespace
}  // namespace zb
