// Helpers shared by the tests: the real packets beside the project, scratch folders, files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace UTestSupport {

inline std::filesystem::path SharedDir() { return TRADULO_SHARED_DIR; }
inline std::filesystem::path RealPacketsDir() { return SharedDir() / "datapackets" / "real"; }
inline std::filesystem::path FixturesDir() { return TRADULO_FIXTURES_DIR; }

inline std::string ReadBytes(const std::filesystem::path& Path) {
  std::ifstream In(Path, std::ios::binary);
  return {std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& Path, std::string_view Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(Bytes.data(), static_cast<std::streamsize>(Bytes.size()));
}

// A fresh folder for one test, removed with the object.
class TScratchDir {
 public:
  TScratchDir() {
    std::random_device Random;
    Path = std::filesystem::temp_directory_path() /
           ("tradulo-test-" + std::to_string(Random()) + std::to_string(Random()));
    std::filesystem::create_directories(Path);
  }
  ~TScratchDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path, Ignored);
  }
  std::filesystem::path operator/(const std::string& Name) const { return Path / Name; }
  std::filesystem::path Path;
};

}  // namespace UTestSupport

// Skips the test when the shared real packets are not beside the project.
#define TRADULO_REQUIRE_REAL_PACKETS()                                                    \
  do {                                                                                    \
    if (!std::filesystem::is_directory(UTestSupport::RealPacketsDir()))                   \
      GTEST_SKIP() << "no real packets at " << UTestSupport::RealPacketsDir().string(); \
  } while (false)
