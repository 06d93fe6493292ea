// The sample members of a sigrok session file as a change stream: worker threads inflate and scan
// the members in parallel, each member on its own (its first sample's levels kept aside), and the
// stream joins their changes in member order. Every member start is a checkpoint, so reading again
// starts at the member that holds the wanted position.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "change_stream.h"

struct zip;  // libzip's archive

namespace zbhost {

struct SampleMember {
    uint64_t index = 0;  // the member's index in the archive
    std::string name;
    uint64_t size = 0;  // bytes after inflating, a whole number of samples
    uint32_t crc = 0;   // CRC-32 of those bytes
    uint16_t method = 0;
    int64_t firstSample = 0;
};

struct SessionLayout {
    std::string path;
    unsigned unitSize = 1;
    unsigned maBit = 0;
    unsigned sloBit = 1;
    uint64_t sampleRate = 0;
    int64_t samples = 0;
    std::vector<SampleMember> members;
};

// `threads` workers (0: one per processor).
std::unique_ptr<ChangeStream> OpenSessionStream(SessionLayout layout, unsigned threads);

// zip_open for every thread that opens an archive: one at a time, since opening converts the
// members' times with the C library's time-zone state, which is not safe to set up concurrently.
::zip* OpenArchive(const std::string& path, int flags, int* error);

}  // namespace zbhost
