// The host stand-in's record, callbacks and report hand-over. Callbacks carry no context, so the
// session that runs a decode is reached through one static pointer.
#include "host_session.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "abi/decoder_settings.h"
#include "record_pages.h"
#include "report_stream.h"
#include "safe_output.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zbhost {

namespace {
constexpr int kMaChannel = 0;
constexpr int kSloChannel = 1;
constexpr int kEndChannel = 127;              // no signal; marks the end of a capture of unknown length
constexpr uint64_t kProgressEvery = 1 << 14;  // sampleQuery calls between progress polls

}  // namespace

HostSession* HostSession::active_ = nullptr;

std::string BlockObjectName(const std::string& name) {
    std::string out = "/" + name;
    std::replace(out.begin() + 1, out.end(), '/', '_');
    return out.substr(0, 250);
}

HostSession::HostSession(const PluginExports& plugin, SampleSource& source)
    : plugin_(plugin), source_(source) {
    const int64_t last = source.LengthKnown() ? source.LastSample() : kUnknownLength;
    record_.sampleQuery = &HostSession::SampleQuery;
    record_.abortPoll = &HostSession::AbortPoll;
    record_.reportRow = nullptr;
    record_.captureChannelCount = 2;
    record_.lastSample = last;
    record_.firstValidSample = 0;
    record_.lastValidSample = last;
    record_.sampleRate = source.SampleRate();
    record_.stopFlag = &stopWord_;
    record_.channelTable[0] = kMaChannel;
    record_.channelTable[1] = kSloChannel;
    record_.decoderChannelCount = 2;
}

HostSession::~HostSession() {
    ReleaseReportBlock();
    if (active_ == this) active_ = nullptr;
    SetInterruptStopWord(nullptr);
}

uint64_t ZB_CALL HostSession::SampleQuery(uint64_t position, uint8_t* state16) {
    HostSession* self = active_;
    uint8_t state[16] = {};
    uint64_t next = zb::kNoFurtherChange;
    if (self != nullptr) {
        self->NotePosition(static_cast<int64_t>(position));
        if ((++self->queries_ % kProgressEvery) == 0) self->DrawProgress();
        uint8_t levels = 0;
        next = self->source_.Query(static_cast<int64_t>(position), levels);
        state[kMaChannel / 8] |= static_cast<uint8_t>((levels & kMaLevel) << (kMaChannel % 8));
        state[kSloChannel / 8] |= static_cast<uint8_t>(((levels & kSloLevel) >> 1) << (kSloChannel % 8));
        if ((levels & (SampleSource::kEndMark | SampleSource::kFailMark)) != 0) {
            // The end of a capture of unknown length: a change on a channel that carries nothing,
            // so that the walk reads it as a step, and the stop word, so that it ends there. A
            // failure stops the walk too, for good.
            if ((levels & SampleSource::kEndMark) != 0) state[kEndChannel / 8] |= 1u << (kEndChannel % 8);
            self->stopWord_ = 1;
            self->endStop_ = (levels & SampleSource::kEndMark) != 0;
        } else if (self->endStop_) {
            self->stopWord_ = 0;  // the next walk has begun
            self->endStop_ = false;
        }
    }
    if (state16 != nullptr) std::memcpy(state16, state, sizeof state);
    return next;
}

// Also the moment to pass an interrupt on: the stop word ends the walk (it may have been cleared
// by Analysis after the interrupt arrived).
uint32_t ZB_CALL HostSession::AbortPoll() {
    HostSession* self = active_;
    if (self == nullptr) return 0;
    // Published records mean that the decode walk is over: the report that follows must not stop.
    if (self->endStop_ && self->record_.positionArray != nullptr) {
        self->stopWord_ = 0;
        self->endStop_ = false;
    }
    self->DrawProgress();
    if (!InterruptRequested()) return 0;
    self->stopWord_ = 1;
    return 1;
}

int32_t ZB_CALL HostSession::ReportRow(const char* text, uint32_t length) {
    HostSession* self = active_;
    if (self == nullptr) return 0;
    if (text == nullptr) {
        self->reportEnded_ = true;
        return 1;
    }
    // Lines handed over without their end are given the wire format's CR LF here.
    const bool ended = length >= 2 && text[length - 2] == '\r' && text[length - 1] == '\n';
    if (self->sink_ == nullptr) {
        self->report_.append(text, length);
        if (!ended) self->report_ += "\r\n";
        return 1;
    }
    // A capture that could not be read fails the decode: its report is not written out.
    if (!self->source_.Failure().empty()) return 1;
    self->sink_->Lines(std::string_view(text, length));
    if (!ended) self->sink_->Lines("\r\n");
    return 1;
}

void HostSession::StartWalk() {
    DrawProgress();
    StartPhase();
    stale_ = record_.progress;
    staleValid_ = true;
}

void HostSession::StartPhase() {
    phaseBase_ = shown_;
    phaseMax_ = 0;
    ++phase_;
}

void HostSession::DrawProgress() {
    // Without the capture's length the plug-in cannot tell its progress; the share read can.
    uint32_t value = !source_.LengthKnown()    ? source_.ReadPermille()
                     : record_.progress > 1000 ? 1000
                                               : record_.progress;
    if (staleValid_ && value == stale_)
        value = 0;
    else
        staleValid_ = false;
    // The report starts its own count from zero after the decode walk's end.
    if (value + 100 < phaseMax_) StartPhase();
    if (value > phaseMax_) phaseMax_ = value;
    const uint32_t left = phases_ > phase_ ? phases_ - phase_ : 1;
    const uint32_t overall = phaseBase_ + value * (1000 - phaseBase_) / left / 1000;
    if (overall > shown_) shown_ = overall;
    progress_.Show(shown_);
}

bool HostSession::Analyse(ReportVia via, std::string& error) {
    active_ = this;
    stopWord_ = 0;
    endStop_ = false;
    zb::DecoderSettings settings{};
    zb::CopySettingsIn(record_, settings);
    const zb::SettingsView view(&settings);
    // The decode range's end, as the plug-in reads it from the settings: the buffer tail, or the
    // cursor that range-to names (a number beyond the six cursors reads as position 0).
    const uint32_t to = view.RangeTo();
    source_.EndWalksAt(to == 0 ? INT64_MAX : to <= zb::kCursorCount ? record_.cursorPosition[to - 1] : 0);
    record_.positionArray = nullptr;
    record_.codeArray = nullptr;
    recordsInFile_ = false;
    report_.clear();
    ReleaseReportBlock();
    // Automatic length detection walks the capture before the decode does.
    const bool twoWalks = view.AutoLength() && (!view.IsRegisterMode() || !view.IsBissB());
    phases_ = (twoWalks ? 2 : 1) + (via != ReportVia::None ? 1 : 0);
    phase_ = phaseBase_ = phaseMax_ = shown_ = 0;
    staleValid_ = false;
    lastQuery_ = -1;
    SetInterruptStopWord(&stopWord_);
    reportEnded_ = false;
    std::memset(record_.reportBlockName, 0, sizeof record_.reportBlockName);
    record_.reportRow = via == ReportVia::Callback ? &HostSession::ReportRow : nullptr;
    if (via != ReportVia::None) {
        char name[sizeof record_.reportBlockName];
        std::snprintf(name, sizeof name, "zbhost_%d_report", ProcessId());
        blockName_ = name;
        std::memcpy(record_.reportBlockName, name, std::strlen(name) + 1);
#if !defined(_WIN32)
        shm_unlink(BlockObjectName(blockName_).c_str());
#endif
        SetInterruptSharedBlock(BlockObjectName(blockName_));
    }
    count_ = plugin_.Analysis(&record_);
    // A capture read as a stream has told its length by now if the walks reached its end; what
    // is read from the record afterwards (the decoded range) then sees the capture as it was.
    if (!source_.LengthKnown() && source_.LastSample() >= 0) {
        record_.lastSample = source_.LastSample();
        record_.lastValidSample = source_.LastSample();
    }
    SetInterruptStopWord(nullptr);
    progress_.Finish();
    if (InterruptRequested()) {
        error = "interrupted";
        return false;
    }
    if (!source_.Failure().empty()) {
        error = source_.Failure();
        return false;
    }
    if (count_ > 0 && (record_.codeArray == nullptr || record_.positionArray == nullptr)) {
        error = "the plug-in returned records without their arrays";
        count_ = 0;
        return false;
    }
    recordsInFile_ =
        count_ > 0 && InSharedFileMapping(record_.positionArray) && InSharedFileMapping(record_.codeArray);
    if (via == ReportVia::Block) return ReadReportBlock(error);
    if (via == ReportVia::Callback && !reportEnded_) {
        error = "the report callback received no end mark";
        return false;
    }
    return true;
}

bool HostSession::ReadReportBlock(std::string& error) {
#if defined(_WIN32)
    HANDLE h = OpenFileMappingA(FILE_MAP_READ, FALSE, blockName_.c_str());
    if (h == nullptr) {
        error = "no report block '" + blockName_ + "' was published";
        return false;
    }
    const char* view = static_cast<const char*>(MapViewOfFile(h, FILE_MAP_READ, 0, 0, 0));
    if (view == nullptr) {
        CloseHandle(h);
        error = "cannot map the report block";
        return false;
    }
    MEMORY_BASIC_INFORMATION info{};
    const size_t size = VirtualQuery(view, &info, sizeof info) ? info.RegionSize : 0;
    blockText_ = view;
    blockSize_ = size;
    blockLength_ = strnlen(view, size);
    blockHandle_ = h;
    return true;
#else
    const std::string object = BlockObjectName(blockName_);
    const int fd = shm_open(object.c_str(), O_RDONLY, 0);
    if (fd < 0) {
        error = "no report block '" + object + "' was published";
        return false;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || st.st_size <= 0) {
        close(fd);
        shm_unlink(object.c_str());
        error = "the report block is empty";
        return false;
    }
    const size_t size = static_cast<size_t>(st.st_size);
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    if (view == MAP_FAILED) {
        shm_unlink(object.c_str());
        error = "cannot map the report block";
        return false;
    }
    // The mapping stays valid after the name is removed; the text is read in place.
    blockText_ = static_cast<const char*>(view);
    blockSize_ = size;
    blockLength_ = strnlen(blockText_, size);
    shm_unlink(object.c_str());
    SetInterruptSharedBlock("");
    return true;
#endif
}

void HostSession::ReleaseReportBlock() {
    if (blockText_ == nullptr) return;
#if defined(_WIN32)
    UnmapViewOfFile(blockText_);
    CloseHandle(static_cast<HANDLE>(blockHandle_));
#else
    munmap(const_cast<char*>(blockText_), blockSize_);
#endif
    blockText_ = nullptr;
    blockSize_ = blockLength_ = 0;
    blockHandle_ = nullptr;
}

void HostSession::LabelInto(uint32_t i, RawLabel& label) {
    label.coloured = false;
    label.length = 0;
    label.text[0] = '\0';  // the text of a plug-in that writes none
    if (i >= count_) {
        label.position = 0;
        label.code = 0;
        return;
    }
    label.position = record_.positionArray[i];
    label.code = record_.codeArray[i];
    uint32_t list[4] = {0, 0, 0, 0};
    const uint32_t n = std::min<uint32_t>(3, count_ - i);
    list[0] = n;
    for (uint32_t k = 0; k < n; ++k) list[1 + k] = record_.codeArray[i + k];
    record_.hostFlags |= zb::HostFlag::kCodeList;
    record_.labelColourMask = 0;
    active_ = this;
    plugin_.DataConv(&record_, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(list)), label.text,
                     RawLabel::kCapacity);
    label.length = strnlen(label.text, RawLabel::kCapacity - 1);
    label.text[label.length] = '\0';
    label.coloured = record_.labelColourMask == 24;
    label.textColour = record_.labelTextColour;
    label.backColour = record_.labelBackColour;
}

Label HostSession::LabelOf(uint32_t i) {
    Label label;
    if (i >= count_) return label;
    RawLabel raw;
    LabelInto(i, raw);
    label.position = raw.position;
    label.code = raw.code;
    label.text.assign(raw.text, raw.length);
    label.coloured = raw.coloured;
    label.textColour = raw.textColour;
    label.backColour = raw.backColour;
    return label;
}

Label HostSession::ShortLabelOf(uint32_t i) {
    const bool wasShort = (record_.hostFlags & zb::HostFlag::kShortLabels) != 0;
    record_.hostFlags |= zb::HostFlag::kShortLabels;
    Label label = LabelOf(i);
    if (!wasShort) record_.hostFlags &= ~zb::HostFlag::kShortLabels;
    return label;
}

std::string HostSession::ColumnHeader() {
    if (plugin_.GetReportColumnStr == nullptr) return "";
    char text[4096] = {};
    plugin_.GetReportColumnStr(&record_, text, sizeof text);
    text[sizeof text - 1] = '\0';
    return text;
}

}  // namespace zbhost
