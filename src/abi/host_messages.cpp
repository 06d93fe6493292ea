// The store of host messages: what SetMsgInfo delivers is kept in it and handed back by the
// getter. Messages arrive as a 16-bit code with a 16-bit sub-code above it; only message 5 uses the
// sub-code, to pick an entry of its table.
#include "abi/host_messages.h"

#include <cstring>

namespace zb {
namespace {

enum class MessageCode : uint32_t {
    TempDirectory = 0,
    ValueList = 2,
    TableEntry = 5,
    Value6 = 6,
    Block7 = 7,
    Value8 = 8,
    HostIdentity = 10,
    Flag11 = 11,
    Block12 = 12,
};

constexpr uint32_t kListTerminator = 0xFFFFFFFFu;
// Sub-code 19 names the table's first entry; the lower sub-codes follow it in order, the higher
// ones stand for themselves.
constexpr uint32_t kFirstEntrySubCode = 19;
constexpr char kHostIdentity[] = "Quorbel";

uint32_t CodeOf(uint64_t message) {
    return static_cast<uint32_t>(message & 0xFFFF);
}
uint32_t SubCodeOf(uint64_t message) {
    return static_cast<uint32_t>((message >> 16) & 0xFFFF);
}

// The table entry a sub-code selects, or false when it lies past the table.
bool TableIndex(uint32_t subCode, size_t& index) {
    if (subCode == kFirstEntrySubCode) {
        index = 0;
    } else if (subCode < kFirstEntrySubCode) {
        index = subCode + 1;
    } else {
        index = subCode;
    }
    return index < kMessageTableEntries;
}

// Byte-for-byte equality with a NUL-terminated text; reads no further than the first difference.
bool EqualsText(const char* text, const char* expected) {
    for (size_t i = 0;; ++i) {
        if (text[i] != expected[i]) return false;
        if (text[i] == '\0') return true;
    }
}

uint32_t ReadU32(const void* data, size_t index) {
    uint32_t value;
    std::memcpy(&value, static_cast<const uint8_t*>(data) + index * sizeof value, sizeof value);
    return value;
}

void WriteU32(void* data, size_t index, uint32_t value) {
    std::memcpy(static_cast<uint8_t*>(data) + index * sizeof value, &value, sizeof value);
}

// Message 12's length rule: 1..88 copies that many bytes, 0 or anything larger the whole block.
size_t BlockCopyLength(uint32_t n) {
    return (n >= 1 && n <= kMessageBlockSize) ? n : kMessageBlockSize;
}

}  // namespace

void StoreHostMessage(HostMessageStore& store, uint64_t message, const void* data) {
    const auto code = static_cast<MessageCode>(CodeOf(message));
    if (code == MessageCode::Flag11) {  // carries nothing; its arrival is the message
        store.flag11 = true;
        return;
    }
    if (data == nullptr) return;
    switch (code) {
        case MessageCode::TempDirectory: {
            // At most 259 characters are kept, so the store is always terminated, whatever the
            // host sends.
            const char* text = static_cast<const char*>(data);
            size_t length = 0;
            while (length < kMessageTextSize - 1 && text[length] != '\0') ++length;
            std::memcpy(store.tempDirectory, text, length);
            store.tempDirectory[length] = '\0';
            break;
        }
        case MessageCode::ValueList:
            for (size_t i = 0; i < kMessageListSize; ++i) {
                store.list[i] = ReadU32(data, i);
                if (store.list[i] == kListTerminator) break;
            }
            break;
        case MessageCode::TableEntry: {
            size_t index;
            if (TableIndex(SubCodeOf(message), index)) store.table[index] = ReadU32(data, 0);
            break;
        }
        case MessageCode::Value6:
            store.value6 = ReadU32(data, 0);
            break;
        case MessageCode::Block7:
            std::memcpy(store.block7, data, sizeof store.block7);
            break;
        case MessageCode::Value8:
            std::memcpy(&store.value8, data, sizeof store.value8);
            break;
        case MessageCode::HostIdentity:
            // Only the exact name counts; any other text leaves the flag as it was.
            if (EqualsText(static_cast<const char*>(data), kHostIdentity)) store.hostIdentified = true;
            break;
        case MessageCode::Block12:
            std::memset(store.block12, 0, sizeof store.block12);
            std::memcpy(store.block12, data, BlockCopyLength(ReadU32(data, 0)));
            WriteU32(store.block12, 0, kMessageBlockSize);
            break;
        default:  // 1, 3, 4, 9 and everything above 12 carry nothing the plug-in keeps
            break;
    }
}

uint8_t GetHostMessage(const HostMessageStore& store, uint64_t message, void* out) {
    if (out == nullptr) return 0;
    switch (static_cast<MessageCode>(CodeOf(message))) {
        case MessageCode::TempDirectory:
            std::memcpy(out, store.tempDirectory, sizeof store.tempDirectory);
            return 1;
        case MessageCode::ValueList:
            // Result 1 when all 16 values were copied, 0 when the copy stopped at the terminator.
            for (size_t i = 0; i < kMessageListSize; ++i) {
                WriteU32(out, i, store.list[i]);
                if (store.list[i] == kListTerminator) return 0;
            }
            return 1;
        case MessageCode::TableEntry: {
            size_t index;
            if (!TableIndex(SubCodeOf(message), index)) return 0;
            WriteU32(out, 0, store.table[index]);
            return 1;
        }
        case MessageCode::Value6:
            WriteU32(out, 0, store.value6);
            return 1;
        case MessageCode::Block7:
            std::memcpy(out, store.block7, sizeof store.block7);
            return 1;
        case MessageCode::Value8:
            std::memcpy(out, &store.value8, sizeof store.value8);
            return 1;
        case MessageCode::HostIdentity:
            return store.hostIdentified ? 1 : 0;
        case MessageCode::Flag11:
            return store.flag11 ? 1 : 0;
        case MessageCode::Block12: {
            // The caller's first u32 says how large its record is.
            const uint32_t n = ReadU32(out, 0);
            std::memcpy(out, store.block12, BlockCopyLength(n));
            if (n >= sizeof(uint32_t)) WriteU32(out, 0, kMessageBlockSize);
            return 1;
        }
        default:
            return 0;
    }
}

}  // namespace zb
