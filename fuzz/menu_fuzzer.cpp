// Feeds arbitrary bytes as the keyboard to the whole menu loop, in a fresh folder holding a few
// sample files and a dotted subfolder. Names may hold folders, but inputs that could name a file
// outside that folder (through `..` or a name beginning with `/`) are skipped.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include "app/menu.h"
#include "app/program_state.h"

namespace fs = std::filesystem;

namespace {

// Swallows the screen: only the program's behaviour matters here.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override {
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char*, std::streamsize count) override {
    return count;
  }
};

void writeSample(const fs::path& path, std::string_view content) {
  std::ofstream(path, std::ios::binary)
      .write(content.data(), static_cast<std::streamsize>(content.size()));
}

// Every save flushes to the disk; on a memory file system that costs nothing, so the fuzzer runs
// several times as many inputs a second.
fs::path scratchFolder() {
  std::error_code ec;
  return fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

void makeSamples(const fs::path& folder) {
  writeSample(folder / "test.txt", "hello there\nGeneral Kenobi 1234567890\n");
  writeSample(folder / "test.enc", "2r2ht 4ll2h");
  writeSample(folder / "empty.txt", "");
  writeSample(folder / "bin.dat", std::string_view("\xff\x00\x80\x01\r\n\x7f", 7));
  fs::create_directory(folder / "dir.txt");
  fs::create_directory(folder / "v1.0");
  writeSample(folder / "v1.0" / "a.txt", "in a dotted folder");
}

// Whether the keys can only name files inside the sample folder: no `..` anywhere, and no `/`
// where a name may begin. A name is the rest of the line after a menu letter and the character
// dropped after it, so it begins two bytes after an E, D or M, or at the start of a line.
bool staysInFolder(std::string_view keys) {
  if (keys.find("..") != std::string_view::npos) {
    return false;
  }
  for (std::size_t at = keys.find('/'); at != std::string_view::npos; at = keys.find('/', at + 1)) {
    if (at == 0 || keys[at - 1] == '\n' ||
        (at >= 2 && std::string_view("EeDdMm").find(keys[at - 2]) != std::string_view::npos)) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string keys(reinterpret_cast<const char*>(data), size);
  if (!staysInFolder(keys)) {
    return -1;  // never added to the corpus
  }
  static const fs::path home = fs::current_path();
  // One folder per fuzzing process, so parallel jobs never share files.
  static const fs::path folder =
      scratchFolder() / ("kestrovane-fuzz-" + std::to_string(std::random_device{}()));
  std::error_code ec;
  fs::remove_all(folder, ec);
  fs::create_directories(folder);
  makeSamples(folder);
  fs::current_path(folder);

  std::istringstream input(keys);
  NullBuffer screen;
  std::streambuf* const oldIn = std::cin.rdbuf(input.rdbuf());
  std::streambuf* const oldOut = std::cout.rdbuf(&screen);
  std::cin.clear();
  {
    ProgramState state;
    runMenu(state);
  }
  std::cin.rdbuf(oldIn);
  std::cout.rdbuf(oldOut);
  std::cin.clear();

  fs::current_path(home);
  fs::remove_all(folder, ec);
  return 0;
}
