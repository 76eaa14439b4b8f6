#pragma once
// Whole-file reads and writes for tests, byte for byte.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include <stdlib.h>
#include <unistd.h>

namespace tarvik::testfiles {

inline std::string ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteBytes(const std::filesystem::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// True when no temporary file of a replacing write is left in the folder.
inline bool NoTemporaries(const std::filesystem::path& dir) {
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".tmp") return false;
  return true;
}

// A folder in memory where the system has one (/dev/shm), else /tmp: for tests that write
// and flush many files, whose flushes to a disk would take most of their time.
inline std::string MemoryFolder() {
  std::error_code ec;
  return std::filesystem::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0
             ? "/dev/shm"
             : "/tmp";
}

// A fresh folder BASE/tarvik-TAG-XXXXXX, removed with all it holds at the end.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag, const std::string& base = "/tmp") {
    std::string name = base + "/tarvik-" + tag + "-XXXXXX";
    if (!mkdtemp(name.data())) throw std::runtime_error("cannot make " + name);
    path_ = name;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace tarvik::testfiles
