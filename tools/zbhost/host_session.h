// The host side of one decode: a host record laid out as the host interface prescribes, the sample
// access served from a sample source through the sampleQuery callback, the abort poll, the
// progress bar (one bar over the whole decode: the length detection's walk, the decode walk and the
// report), and the report collected from the named shared-memory block or the row callback.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decoded_frames.h"
#include "plugin_library.h"
#include "progress_bar.h"
#include "sample_source.h"

namespace zbhost {

enum class ReportVia { None, Block, Callback };

class ReportSink;

struct Label {
    int64_t position = 0;
    uint32_t code = 0;
    std::string text;
    bool coloured = false;
    uint32_t textColour = 0;  // COLORREF 0x00BBGGRR
    uint32_t backColour = 0;
};

// A label as DataConv wrote it, in a buffer of its own: listings of millions of records ask for
// one label after the other into the same RawLabel, without a string each.
struct RawLabel {
    static constexpr uint32_t kCapacity = 256;  // the text buffer handed to DataConv
    int64_t position = 0;
    uint32_t code = 0;
    bool coloured = false;
    uint32_t textColour = 0;  // COLORREF 0x00BBGGRR
    uint32_t backColour = 0;
    size_t length = 0;
    char text[kCapacity] = {};
};

class HostSession {
  public:
    // MA is served on capture channel 0 and SLO on channel 1; the source must outlive the session.
    // A source whose length is not known yet gets lastSample kUnknownLength, and its end is
    // signalled as SampleSource describes.
    HostSession(const PluginExports& plugin, SampleSource& source);
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    zb::HostRecord& Record() { return record_; }
    void ShowProgress(bool on) { progress_ = ProgressBar("decoding", on); }

    // With a sink, a report asked for through the row callback goes to it line by line as it
    // arrives, and Report() stays empty; null collects it again.
    void StreamReportTo(ReportSink* sink) { sink_ = sink; }
    // Calls Analysis; the report arrives as wire text in Report() (or in the sink). False with a message when
    // the plug-in published no report although one was asked for, or when reading the capture failed.
    bool Analyse(ReportVia via, std::string& error);
    uint32_t RecordCount() const { return count_; }
    int64_t PositionAt(uint32_t i) const { return record_.positionArray[i]; }
    uint32_t CodeAt(uint32_t i) const { return record_.codeArray[i]; }
    // The report's wire text: in the shared-memory block itself (mapped until the session ends or
    // analyses again), or as collected from the row callback.
    std::string_view Report() const {
        return blockText_ != nullptr ? std::string_view(blockText_, blockLength_) : report_;
    }
    RecordView Records() const {
        return RecordView{record_.positionArray, record_.codeArray, count_, recordsInFile_};
    }

    // The label of record i through DataConv, with the codes of the next two records as the list.
    Label LabelOf(uint32_t i);
    // The same into `label` (its text cut to RawLabel::kCapacity - 1 characters).
    void LabelInto(uint32_t i, RawLabel& label);
    // The same in its short form: asked with the short-form host flag set, which is then put back
    // as it was.
    Label ShortLabelOf(uint32_t i);
    // GetReportColumnStr for the current settings.
    std::string ColumnHeader();
    uint64_t QueryCount() const { return queries_; }

  private:
    static uint64_t ZB_CALL SampleQuery(uint64_t position, uint8_t* state16);
    static uint32_t ZB_CALL AbortPoll();
    static int32_t ZB_CALL ReportRow(const char* text, uint32_t length);
    void DrawProgress();
    // A query before the previous one starts another walk over the capture. Asked on every
    // sample query, so only the rare new walk leaves the line.
    void NotePosition(int64_t position) {
        if (position < lastQuery_) StartWalk();
        lastQuery_ = position;
    }
    void StartWalk();
    void StartPhase();
    bool ReadReportBlock(std::string& error);
    void ReleaseReportBlock();

    static HostSession* active_;
    const PluginExports& plugin_;
    SampleSource& source_;
    zb::HostRecord record_{};
    uint32_t stopWord_ = 0;
    // The stop word was raised at the end of a capture of unknown length; it is lowered again when
    // the next walk asks for samples, or once the records are published (before the report).
    bool endStop_ = false;
    uint64_t queries_ = 0;
    uint32_t count_ = 0;
    bool recordsInFile_ = false;  // both arrays lie in shared file mappings (RecordView::releasable)
    ProgressBar progress_{"decoding", false};
    // One bar over the phases of a decode: the length detection's walk (when it runs), the decode
    // walk and the report (when one is asked for). A new walk is seen when the queries go back, the
    // report when the plug-in's progress falls; each phase fills its share of what is left.
    uint32_t phases_ = 1;
    uint32_t phase_ = 0;
    uint32_t phaseBase_ = 0;
    uint32_t phaseMax_ = 0;
    uint32_t stale_ = 0;  // the last phase's value, still in the record until the plug-in writes
    bool staleValid_ = false;
    uint32_t shown_ = 0;
    int64_t lastQuery_ = -1;
    std::string blockName_;
    std::string report_;
    ReportSink* sink_ = nullptr;
    // The mapped report block: its view, the view's size, its text's length, and (Windows) the
    // mapping's handle.
    const char* blockText_ = nullptr;
    size_t blockSize_ = 0;
    size_t blockLength_ = 0;
    void* blockHandle_ = nullptr;
    bool reportEnded_ = false;
};

// lastSample while the length of the capture is not known.
constexpr int64_t kUnknownLength = INT64_MAX;

// The POSIX shared-memory object name of a block: "/" + name with '/' turned into '_'.
std::string BlockObjectName(const std::string& name);

}  // namespace zbhost
