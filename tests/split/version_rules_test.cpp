// The split's version rule: the numeric reading of the DATABASE version, from 4.1 on.
#include "split/version_rules.h"

#include <gtest/gtest.h>

namespace msu {
namespace {

TEST(VersionThresholds, SplitNeedsVersion4_1) {
  EXPECT_FALSE(IsSplitSupported("4.09.00"));
  EXPECT_TRUE(IsSplitSupported("4.1"));
  EXPECT_TRUE(IsSplitSupported("4.10.00"));
  EXPECT_FALSE(IsSplitSupported("3.99"));
}

}  // namespace
}  // namespace msu
