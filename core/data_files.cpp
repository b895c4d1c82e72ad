#include "core/data_files.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace fw {

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

std::mutex gMutex;
std::string gStartDirectory;

}  // namespace

const std::string& StartDirectory() {
  std::lock_guard lock(gMutex);
  if (gStartDirectory.empty()) {
    std::error_code ec;
    gStartDirectory = WithSlash(fs::current_path(ec).string());
  }
  return gStartDirectory;
}

void SetStartDirectory(const std::string& directory) {
  std::lock_guard lock(gMutex);
  gStartDirectory = WithSlash(directory);
}

std::string DataDirectory() {
  if (const char* env = std::getenv("FUMEWATCH_DATA_DIR"); env && *env) return WithSlash(env);
  std::error_code ec;
  const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path beside = exe.parent_path().parent_path() / "data";
    if (fs::is_directory(beside, ec)) return WithSlash(beside.string());
  }
  return WithSlash(FW_DATA_DIR_COMPILED);
}

std::string FindDataFile(const std::string& name) {
  std::error_code ec;
  const std::string local = StartDirectory() + name;
  if (fs::exists(local, ec)) return local;
  return DataDirectory() + name;
}

}  // namespace fw
