// Parsing of the decoder settings given on the command line. Every value is packed into the
// settings words by SettingsView, the plug-in's own code, and the defaults are the plug-in's.
#include "host_settings.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace zbhost {

namespace {

constexpr int32_t kMaxPhase = 63;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseLong(const std::string& text, long lo, long hi, long& out, int base = 10) {
    if (text.empty() || text.size() > 20) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, base);
    if (*end != '\0' || v < lo || v > hi) return false;
    out = v;
    return true;
}

bool ParseHex(const std::string& text, uint32_t& out) {
    std::string t = Lower(text);
    if (t.compare(0, 2, "0x") == 0) t = t.substr(2);
    if (t.empty() || t.size() > 8 || t.find_first_not_of("0123456789abcdef") != std::string::npos)
        return false;
    out = static_cast<uint32_t>(std::strtoul(t.c_str(), nullptr, 16));
    return true;
}

// "head"/"tail", "T" (trigger cursor) or a cursor letter A..E: 0, 1, 2..6.
bool ParseRangeEnd(const std::string& text, const char* bufferEnd, uint32_t& out) {
    const std::string t = Lower(text);
    if (t == bufferEnd || t == "0") {
        out = 0;
        return true;
    }
    if (t == "t" || t == "trigger") {
        out = 1;
        return true;
    }
    if (t.size() == 1 && t[0] >= 'a' && t[0] <= 'e') {
        out = static_cast<uint32_t>(t[0] - 'a') + 2;
        return true;
    }
    return false;
}

bool ParseFormat(const std::string& text, bool allowChar, uint32_t& out) {
    static const char* const kNames[] = {"hex", "dec", "oct", "bin", "char"};
    const std::string t = Lower(text);
    for (uint32_t i = 0; i < (allowChar ? 5u : 4u); ++i) {
        if (t == kNames[i]) {
            out = i;
            return true;
        }
    }
    return false;
}

const char* const kSettingNames[] = {
    "mode",       "protocol",    "data-length", "st-bits",       "align",     "combine",
    "crc-bits",   "crc-poly",    "crc-init",    "data-channels", "slo-phase", "reg-columns",
    "value-type", "host-format", "range-from",  "range-to",      "cursor",    "colour-slot"};

}  // namespace

bool IsSettingName(const std::string& name) {
    for (const char* n : kSettingNames) {
        if (name == n) return true;
    }
    return false;
}

const char* SettingsHelp() {
    return "Decoder settings (written into the host record's settings words):\n"
           "  --defaults                start from the plug-in's DefaultSettings export\n"
           "  --mode scd|master|slave   Single Cycle Data, register access seen from master / slave\n"
           "  --protocol c|b            BiSS-C or BiSS-B\n"
           "  --data-length N|auto      serial data length 1..64 bits, or automatic detection\n"
           "  --st-bits N               single-turn bits\n"
           "  --align N                 alignment bits\n"
           "  --combine on|off          combine multi-turn and single-turn into one value\n"
           "  --crc-bits N              CRC bits 1..16\n"
           "  --crc-poly HEX            CRC polynomial without its top bit (43 = x^6+x+1)\n"
           "  --crc-init HEX            CRC initial value\n"
           "  --data-channels N         slaves on the line, 1..8\n"
           "  --slo-phase N             SLO sampling phase in samples, -63..63\n"
           "  --reg-columns 8|16        register data columns of the report\n"
           "  --value-type FMT          hex|dec|oct|bin: the dialog's value type (IDs)\n"
           "  --host-format FMT         hex|dec|oct|bin|char: the host's value format (positions)\n"
           "  --range-from head|T|A..E  decode from the buffer head or a cursor\n"
           "  --range-to tail|T|A..E    decode up to the buffer tail or a cursor\n"
           "  --cursor X=POS            cursor T or A..E at POS, samples or a time (repeatable)\n"
           "  --colour-slot K=I         colour slot K (0..8) = colour index I (0..15)\n";
}

HostSettings::HostSettings() {
    block_.size = zb::kSettingsBlockSize;
    zb::SettingsView(&block_).ApplyDefaults();
}

void HostSettings::LoadFrom(const zb::HostRecord& record) {
    std::memcpy(reinterpret_cast<uint8_t*>(&block_) + zb::kDecoderWordsOffset, record.decoderWords,
                zb::kDecoderWordsSize);
    block_.channelTable[0] = record.channelTable[0];
    block_.channelTable[1] = record.channelTable[1];
    block_.settingsState = record.settingsState;
}

bool HostSettings::Apply(const SettingArg& arg, std::string& error) {
    const std::string& name = arg.first;
    const std::string value = Lower(arg.second);
    zb::SettingsView v(&block_);
    long n = 0;
    uint32_t u = 0;
    auto bad = [&]() {
        error = "bad value '" + arg.second + "' for --" + name;
        return false;
    };
    if (name == "mode") {
        if (value == "scd" || value == "2")
            v.SetMode(static_cast<uint32_t>(zb::DecodeMode::SingleCycle));
        else if (value == "master" || value == "cdm" || value == "0")
            v.SetMode(static_cast<uint32_t>(zb::DecodeMode::RegisterMaster));
        else if (value == "slave" || value == "cds" || value == "1")
            v.SetMode(static_cast<uint32_t>(zb::DecodeMode::RegisterSlave));
        else
            return bad();
    } else if (name == "protocol") {
        if (value == "c" || value == "biss-c")
            v.SetProtocol(static_cast<int32_t>(zb::Protocol::BissC));
        else if (value == "b" || value == "biss-b")
            v.SetProtocol(static_cast<int32_t>(zb::Protocol::BissB));
        else
            return bad();
    } else if (name == "data-length") {
        if (value == "auto") {
            v.SetAutoLength(true);
        } else {
            if (!ParseLong(value, 1, 64, n)) return bad();
            v.SetDataLength(static_cast<int32_t>(n));
            v.SetAutoLength(false);
        }
    } else if (name == "st-bits") {
        if (!ParseLong(value, 0, 64, n)) return bad();
        v.SetSingleTurnBits(static_cast<int32_t>(n));
    } else if (name == "align") {
        if (!ParseLong(value, 0, 63, n)) return bad();
        v.SetAlignmentBits(static_cast<int32_t>(n));
    } else if (name == "combine") {
        if (value == "on" || value == "1" || value == "yes")
            v.SetCombineTurns(true);
        else if (value == "off" || value == "0" || value == "no")
            v.SetCombineTurns(false);
        else
            return bad();
    } else if (name == "crc-bits") {
        if (!ParseLong(value, 1, 16, n)) return bad();
        v.SetCrcBits(static_cast<int32_t>(n));
    } else if (name == "crc-poly") {
        if (!ParseHex(value, u)) return bad();
        v.SetCrcPolynomial(u);
    } else if (name == "crc-init") {
        if (!ParseHex(value, u)) return bad();
        v.SetCrcInitial(u);
    } else if (name == "data-channels") {
        if (!ParseLong(value, 1, 8, n)) return bad();
        v.SetDataChannels(static_cast<uint32_t>(n - 1));
    } else if (name == "slo-phase") {
        if (!ParseLong(value, -kMaxPhase, kMaxPhase, n)) return bad();
        v.SetSloPhase(static_cast<int32_t>(n));
    } else if (name == "reg-columns") {
        if (value != "8" && value != "16") return bad();
        v.SetRegisterColumns(value == "16" ? 16 : 8);
    } else if (name == "value-type") {
        if (!ParseFormat(value, false, u)) return bad();
        v.SetValueType(u);
    } else if (name == "host-format") {
        if (!ParseFormat(value, true, u)) return bad();
        block_.hostValueFormat = u;
    } else if (name == "range-from") {
        if (!ParseRangeEnd(value, "head", u)) return bad();
        v.SetRangeFrom(u);
    } else if (name == "range-to") {
        if (!ParseRangeEnd(value, "tail", u)) return bad();
        v.SetRangeTo(u);
    } else if (name == "cursor") {
        const size_t eq = value.find('=');
        if (eq == std::string::npos || !ParseRangeEnd(value.substr(0, eq), "-", u) || u == 0) return bad();
        char* end = nullptr;
        const long long pos = std::strtoll(value.c_str() + eq + 1, &end, 10);
        if (*end != '\0' || eq + 1 == value.size() || pos < 0) return bad();
        block_.cursorPosition[u - 1] = pos;
    } else if (name == "colour-slot") {
        const size_t eq = value.find('=');
        long slot = 0;
        if (eq == std::string::npos || !ParseLong(value.substr(0, eq), 0, 8, slot) ||
            !ParseLong(value.substr(eq + 1), 0, 15, n)) {
            return bad();
        }
        v.SetColourSlot(static_cast<uint32_t>(slot), static_cast<uint32_t>(n));
    } else {
        error = "unknown setting --" + name;
        return false;
    }
    return true;
}

void HostSettings::StoreInto(zb::HostRecord& record) const {
    std::memcpy(record.decoderWords, reinterpret_cast<const uint8_t*>(&block_) + zb::kDecoderWordsOffset,
                zb::kDecoderWordsSize);
    record.channelTable[0] = block_.channelTable[0];
    record.channelTable[1] = block_.channelTable[1];
    record.decoderChannelCount = 2;
    record.settingsState = block_.settingsState;
    record.hostValueFormat = block_.hostValueFormat;
    record.hostFlags = block_.hostFlags;
    for (size_t i = 0; i < zb::kCursorCount; ++i) record.cursorPosition[i] = block_.cursorPosition[i];
}

}  // namespace zbhost
