// Test entry for the Windows tests: COM for this thread, as the host's process would have it.
#include <gtest/gtest.h>
#include <objbase.h>

int main(int argc, char** argv) {
  ::CoInitialize(nullptr);
  testing::InitGoogleTest(&argc, argv);
  int status = RUN_ALL_TESTS();
  ::CoUninitialize();
  return status;
}
