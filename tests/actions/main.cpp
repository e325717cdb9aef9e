#include <stdlib.h>

#include <filesystem>
#include <string>

#include "support/qt_main.h"

namespace {

// The copies' scratch files go to a private folder of this run, not the user's.
struct PrivateRuntimeFolder {
  std::string path = (std::filesystem::temp_directory_path() / "mw-actions-XXXXXX").string();
  PrivateRuntimeFolder() {
    if (::mkdtemp(path.data())) ::setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
  }
  ~PrivateRuntimeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
} runtimeFolder;

}  // namespace

MW_QT_TEST_MAIN()
