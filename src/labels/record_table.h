// The one table of what each kind of record looks like: its long and short waveform label, the text
// the report writes for it, and its colour. A kind whose look depends on its payload (a status, a
// read/write answer, a stop bit, an active nErr, a CRC that does not match) has a row per variant.
// Waveform labels and report rows both read it; the value a label shows is formatted by the labels.
#pragma once

#include <cstddef>
#include <cstdint>

#include "abi/decoder_settings.h"

namespace zb {

// The colours of labels and report cells: the nine colour slots of the settings, then three fixed
// colours. The report declares one colour pair per value, in this order.
enum class Colour : uint8_t {
    AckAdr = 0,       // slot 0: acknowledge, register address
    Start = 1,        // slot 1: start bits; the report's summary and clock texts
    CdsCts = 2,       // slot 2: CDS, CDM, CTS
    DataCmd = 3,      // slot 3: position values, data bytes, commands
    Flag = 4,         // slot 4: nErr, nWarn, IDL, slave ID, busy; the report's notes
    RegisterCrc = 5,  // slot 5: a register data byte whose CRC matches (report)
    Stop = 6,         // slot 6: stop bits
    Read = 7,         // slot 7: reads, IDS, "Reading"
    Write = 8,        // slot 8: writes, IDA
    Plain = 9,        // white: no emphasis
    Alert = 10,       // red: an error
    Good = 11,        // green: a CRC that matches
};
constexpr int kColourSlots = 9;
constexpr int kColours = 12;

// The colour table index (0..15) of a colour: a slot's index from the settings, else the fixed one.
uint32_t ColourIndex(const SettingsView& settings, Colour colour);

struct RecordLook {
    // Formats of the long and the short waveform label; "%s" takes the value text.
    const char* longLabel;
    const char* shortLabel;
    // Format of the report's text ("%s" takes the acknowledge count); null when the report writes
    // the record's value instead (or nothing).
    const char* report;
    Colour colour;
};

// A look's format (one "%s" at most, no other '%') with `value` in place of its "%s", written as
// snprintf writes it: cut to size - 1 characters and terminated; size 0 writes nothing. Returns
// the length written.
size_t ExpandLook(const char* format, const char* value, char* text, size_t size);

// A look's label format split at its "%s": the text before it, whether the value follows, and the
// text after it. Labels are asked once per record, so the split is made once for the whole table.
struct LabelParts {
    const char* before = "";
    uint32_t beforeLength = 0;
    bool hasValue = false;
    const char* after = "";
    uint32_t afterLength = 0;
};
// The parts of a look (one of LookOf's) in its long or short form.
const LabelParts& PartsOf(const RecordLook& look, bool shortForm);
// The most text any label format holds besides its value.
extern const uint32_t kLongestLabelFormat;

// The look of a record code. An nErr record's colour depends on the protocol (nErr is active low in
// BiSS-C, active high in BiSS-B); a value's first record shows the whole value only when its other
// two records follow (`wholeValue`).
const RecordLook& LookOf(uint32_t code, bool bissB, bool wholeValue = true);

}  // namespace zb
