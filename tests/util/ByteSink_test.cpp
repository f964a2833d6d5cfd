#include "util/ByteSink.h"

#include <gtest/gtest.h>

#include "platform/Platform.h"
#include "support/TempFolder.h"
#include "util/FileOperation.h"

namespace lorvex {
namespace {

// The file sink's two outcomes: the bytes reach the file, or a failed write raises FileError
// naming what was being written (the callers show that text).
TEST(ByteSink, FileSinkWritesOrFailsWithItsName) {
  support::TempFolder temp;
  const std::string path = temp.File("out.bin", "");
  {
    platform::UniqueFile file = platform::OpenFile(path, "wb");
    ASSERT_TRUE(file);
    FileSink sink(file.get(), "out.bin");
    sink.Write("ab\0c", 4);
    sink.Flush();
  }
  EXPECT_EQ(ReadFileBytes(path), std::string("ab\0c", 4));

  platform::UniqueFile readOnly = platform::OpenFile(path, "rb");
  ASSERT_TRUE(readOnly);
  FileSink sink(readOnly.get(), "the copy");
  try {
    sink.Write("x", 1);
    sink.Flush();
    FAIL() << "writing into a file opened for reading succeeded";
  } catch (const FileError& e) {
    EXPECT_STREQ(e.what(), "cannot write the copy");
  }
}

}  // namespace
}  // namespace lorvex
