// Giving back the memory of record arrays that a reader has passed. The plug-in publishes its
// records as shared views of its store files; a page of such a view that the system takes back is
// read again from the file when touched, so the listings, which go through millions of records
// once, need not keep them all resident. Arrays anywhere else (memory) are never touched.
#pragma once

namespace zbhost {

// True when `address` lies in a shared mapping of a file (Linux: found in /proc/self/maps);
// false elsewhere and on other systems.
bool InSharedFileMapping(const void* address);
// Gives the whole pages in [from, to) back to the system; the caller knows them to be in a shared
// file mapping. Nothing on other systems.
void ReleaseFilePages(const void* from, const void* to);

}  // namespace zbhost
