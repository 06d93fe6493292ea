// The guard page after a page buffer: a write one byte past the usable end stops the process
// instead of landing in whatever memory follows.
#include <gtest/gtest.h>

#include "platform/platform.h"

namespace zbtest {
namespace {

TEST(PageBufferDeathTest, AWritePastTheEndHitsTheGuardPage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    zb::platform::PageBuffer buffer;
    ASSERT_TRUE(buffer.Allocate(5000));
    volatile unsigned char* p = static_cast<unsigned char*>(buffer.Data());
    p[buffer.Size() - 1] = 1;
    EXPECT_DEATH(p[buffer.Size()] = 1, "");
}

}  // namespace
}  // namespace zbtest
