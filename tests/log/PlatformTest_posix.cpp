#include <gtest/gtest.h>

#include <cerrno>

#include "LIB/Log/Failure.h"

namespace veltraw {
namespace {

TEST(ErrorTextPosix, ErrnoValuesReadLikeSystemMessages) {
  EXPECT_EQ(windowsErrorText(EACCES), "Permission denied (0x0000000D / 13)");
  errno = ENOENT;
  EXPECT_EQ(lastErrorText(), "No such file or directory (0x00000002 / 2)");
}

}  // namespace
}  // namespace veltraw
