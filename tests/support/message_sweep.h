// Host messages of every shape the plug-in must take without harm: every code it knows with good,
// empty, missing and over-long data, sub-codes beyond the known ones and unknown codes. Shared by
// the native export test and the Windows identity host, which call the exported SetMsgInfo.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace zbtest {

template <typename SetMsgInfoFn>
void SendMessagesOfEveryShape(SetMsgInfoFn setMsgInfo, const char* tempDirectory) {
    const std::string longPath(1000, 'p');
    const uint32_t list[] = {1, 2, 0xFFFFFFFF, 7};
    const uint32_t value = 5;
    uint8_t record12[300] = {};
    const uint8_t bytes32[32] = {};
    const uint64_t value8 = 8;
    setMsgInfo(0, tempDirectory);
    setMsgInfo(0, longPath.c_str());
    setMsgInfo(0, nullptr);
    setMsgInfo(2, list);
    for (uint32_t sub : {0u, 18u, 19u, 20u, 24u, 25u, 100u, 0xFFFFu})
        setMsgInfo((uint64_t{sub} << 16) | 5, &value);
    setMsgInfo(6, &value);
    setMsgInfo(7, bytes32);
    setMsgInfo(8, &value8);
    setMsgInfo(10, "Quorbel");
    setMsgInfo(10, "");
    setMsgInfo(11, nullptr);
    for (uint32_t n : {0u, 1u, 4u, 88u, 89u, 300u, 0xFFFFFFFFu}) {
        std::memcpy(record12, &n, 4);
        setMsgInfo(12, record12);
    }
    setMsgInfo(12, nullptr);
    for (uint64_t code : {1ull, 3ull, 4ull, 9ull, 13ull, 0xFFFFull, ~0ull}) setMsgInfo(code, &value);
}

}  // namespace zbtest
