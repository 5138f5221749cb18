#include <gtest/gtest.h>

#include "platform/Exception.h"

namespace varnel {
namespace {

TEST(InOutError, MessagesFollowTheRuntimeTable) {
  EXPECT_EQ(EInOutError(2).Message(), "File not found");
  EXPECT_EQ(EInOutError(4).Message(), "Too many open files");
  EXPECT_EQ(EInOutError(5).Message(), "File access denied");
  EXPECT_EQ(EInOutError(100).Message(), "Read beyond end of file");
  EXPECT_EQ(EInOutError(101).Message(), "Disk full");
  EXPECT_EQ(EInOutError(106).Message(), "Invalid numeric input");
  EXPECT_EQ(EInOutError(183).Message(), "I/O error 183");
  EXPECT_EQ(EInOutError(145).Message(), "I/O error 145");
  EXPECT_EQ(EInOutError(183).ErrorCode(), 183);
}

TEST(ListError, NamesTheIndexAndItsClass) {
  EStringListError e(25);
  EXPECT_EQ(e.Message(), "List index out of bounds (25)");
  EXPECT_STREQ(e.ClassName(), "EStringListError");
  const Exception& base = e;
  EXPECT_STREQ(base.ClassName(), "EStringListError");
}

}  // namespace
}  // namespace varnel
