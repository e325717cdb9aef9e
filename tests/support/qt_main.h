#pragma once
// main() of a widget test binary: a QApplication on the offscreen platform, then GoogleTest.
// The files that copies and drags hand out go to a private folder of the run, not the user's, and
// no session bus is reached (a desktop's portals would add to what a copy offers).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace mw::test {

struct PrivateRuntimeFolder {
  std::string path = (std::filesystem::temp_directory_path() / "mw-run-XXXXXX").string();
  PrivateRuntimeFolder() {
    if (::mkdtemp(path.data())) ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
  ~PrivateRuntimeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace mw::test

#define MW_QT_TEST_MAIN()                            \
  int main(int argc, char** argv) {                  \
    setenv("QT_QPA_PLATFORM", "offscreen", 0);       \
    const mw::test::PrivateRuntimeFolder runtimeDir; \
    QApplication app(argc, argv);                    \
    ::testing::InitGoogleTest(&argc, argv);          \
    return RUN_ALL_TESTS();                          \
  }
