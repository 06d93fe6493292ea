// Facts the host sends for the whole module through SetMsgInfo (message code in bits 15..0, a
// sub-code in bits 31..16): the store that keeps them and the getter that gives them back, as plain
// data and functions on it (the module keeps the one store). Only message 0, the directory for
// temporary files, is read elsewhere in the plug-in; the others are kept so the getter can return
// them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zb {

constexpr size_t kMessageTextSize = 260;
constexpr size_t kMessageListSize = 16;
constexpr size_t kMessageTableEntries = 25;  // sub-codes selecting a higher entry are ignored
constexpr size_t kMessageBlockSize = 88;

struct HostMessageStore {
    char tempDirectory[kMessageTextSize];  // message 0
    uint32_t list[kMessageListSize];       // message 2
    uint32_t table[kMessageTableEntries];  // message 5, entry chosen by the sub-code
    uint32_t value6;                       // message 6
    uint8_t block7[32];                    // message 7
    uint64_t value8;                       // message 8
    bool hostIdentified;                   // message 10
    bool flag11;                           // message 11
    uint8_t block12[kMessageBlockSize];    // message 12; its first u32 always reads 88
};

// SetMsgInfo's work: store what the message carries (unknown codes and null data are ignored).
void StoreHostMessage(HostMessageStore& store, uint64_t message, const void* data);
// The mirror of StoreHostMessage: 1 when `out` received a value, 0 otherwise.
uint8_t GetHostMessage(const HostMessageStore& store, uint64_t message, void* out);

}  // namespace zb
