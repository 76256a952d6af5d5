#include "codec/output_file.h"

#include <filesystem>
#include <random>
#include <system_error>

namespace fs = std::filesystem;

std::string outputName(std::string_view typedName, std::string_view stopChars,
                       std::string_view extension) {
  std::string name(typedName.substr(0, typedName.find_first_of(stopChars)));
  name += '.';
  name += extension;
  return name;
}

namespace {

// A hidden name in the target's folder that no file has yet. Being in the same folder keeps the
// final move a rename within one file system, which replaces the target in one step.
std::string newTempPath(const std::string& targetName) {
  const fs::path target(targetName);
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        target.parent_path() / ("." + target.filename().string() + ".kestrovane-" +
                                std::to_string(random() % 1000000000) + ".tmp");
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(candidate, ec))) {
      return candidate.string();
    }
  }
  return {};
}

}  // namespace

std::string openSafeOutput(std::ofstream& file, const std::string& targetName) {
  const std::string tempPath = newTempPath(targetName);
  if (tempPath.empty()) {
    return {};
  }
  file.open(tempPath, std::ios::binary | std::ios::trunc);
  if (!file.is_open()) {
    file.clear();
    // Keep the stream failed, so that writes to it are dropped without effect.
    file.setstate(std::ios::badbit);
    return {};
  }
  return tempPath;
}

bool commitSafeOutput(std::ofstream& file, const std::string& tempPath,
                      const std::string& targetName) {
  // Closing flushes; a failed write or flush, or a file that never opened, leaves it failed.
  file.close();
  const bool written = !file.fail();
  file.clear();
  std::error_code ec;
  if (written) {
    // A replaced file keeps the permissions it had.
    const fs::file_status existing = fs::status(targetName, ec);
    if (fs::is_regular_file(existing)) {
      fs::permissions(tempPath, existing.permissions(), ec);
    }
    fs::rename(tempPath, targetName, ec);
    if (!ec) {
      return true;
    }
  }
  if (!tempPath.empty()) {
    fs::remove(tempPath, ec);
  }
  return false;
}
