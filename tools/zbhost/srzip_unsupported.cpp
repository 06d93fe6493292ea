// Builds without a zip library (the Windows build) cannot read sigrok session files; they say so.
#include "capture_readers.h"

namespace zbhost {

bool SrzipSupported() {
    return false;
}

std::unique_ptr<ChangeStream> OpenSrzip(const std::string& path, const ReadOptions&) {
    throw CaptureError("'" + path + "': this build reads no sigrok session files (.sr); use VCD or CSV");
}

}  // namespace zbhost
