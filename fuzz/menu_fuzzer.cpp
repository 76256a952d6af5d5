// Feeds arbitrary bytes as the keyboard to the whole menu loop, in a fresh folder holding a few
// sample files and a dotted subfolder. Names may hold folders, but inputs that could name a file
// outside that folder (through `..` or a name beginning with `/`) are skipped. After each session
// the screen is held against the folder: no file may appear, change or go unless a "has been
// saved as:" line names it, and no temporary may remain; and every refused save, and only those,
// says why on standard error.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/menu.h"
#include "app/program_state.h"

namespace fs = std::filesystem;

namespace {

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
  // Dotless, so that a name cut short by a NUL byte can reach an existing file.
  writeSample(folder / "notes", "dear diary");
}

// Each file and folder under `folder`, by its path from there, with what a save may change of it.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = entry.path().lexically_relative(folder).string();
    const auto mode = std::to_string(static_cast<int>(entry.symlink_status().permissions()));
    std::string& what = files[name];
    if (entry.is_regular_file()) {
      std::ifstream file(entry.path(), std::ios::binary);
      what = "file " + mode + " " + std::string(std::istreambuf_iterator<char>(file), {});
    } else {
      what = "other " + mode;
    }
  }
  return files;
}

// The names that the program's own lines saying `how` ("has been saved as: ", say) end with. Only
// the program's own line counts, whole and followed by its closing prompt: a typed message or a
// listed file may hold the same words.
std::vector<std::string> namesSaid(const std::string& screen, std::string_view how) {
  constexpr std::string_view kClosing = "\n\nPress any Key";
  std::vector<std::string> names;
  for (const std::string_view which : {"\nYour encoded file ", "\nYour decoded file "}) {
    const std::string said = std::string(which) + std::string(how);
    for (std::size_t at = screen.find(said); at != std::string::npos;
         at = screen.find(said, at + 1)) {
      const std::size_t from = at + said.size();
      const std::size_t to = screen.find('\n', from);
      if (to != std::string::npos && screen.compare(to, kClosing.size(), kClosing) == 0) {
        names.push_back(screen.substr(from, to - from));
      }
    }
  }
  return names;
}

// The files that the screen says were saved, by their paths from the folder the program ran in.
std::set<std::string> savedNames(const std::string& screen) {
  std::set<std::string> names;
  for (const std::string& name : namesSaid(screen, "has been saved as: ")) {
    names.insert(fs::path(name).lexically_normal().string());
  }
  return names;
}

// Stops the fuzzer with the keys that broke the promise: what the screen showed is what was saved.
void checkFolderAgainstScreen(const std::map<std::string, std::string>& before,
                              const std::map<std::string, std::string>& after,
                              const std::string& screen) {
  const std::set<std::string> saved = savedNames(screen);
  std::set<std::string> names;
  for (const auto& files : {before, after}) {
    for (const auto& file : files) {
      names.insert(file.first);
    }
  }
  for (const std::string& name : names) {
    const auto was = before.find(name);
    const auto is = after.find(name);
    const bool same = was != before.end() && is != after.end() && was->second == is->second;
    const bool temporary = name.find(".kestrovane-") != std::string::npos;
    if (temporary || (!same && saved.count(name) == 0)) {
      std::cerr << (temporary ? "temporary left: " : "changed without a save: ") << name << "\n";
      std::abort();
    }
  }
  for (const std::string& name : saved) {
    const auto is = after.find(name);
    if (is == after.end() || is->second.rfind("file ", 0) != 0) {
      std::cerr << "said saved, but no such file: " << name << "\n";
      std::abort();
    }
  }
}

// Stops the fuzzer where a refused save did not say why exactly once, on a line of its own, or a
// saved one said anything. No name the program blames can hold a line end.
void checkReasonsAgainstScreen(const std::string& screen, const std::string& errors) {
  const std::size_t refused = namesSaid(screen, "could not be saved as: ").size();
  const auto told = static_cast<std::size_t>(std::count(errors.begin(), errors.end(), '\n'));
  if (told != refused) {
    std::cerr << refused << " saves refused, " << told << " reasons told:\n" << errors;
    std::abort();
  }
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

  const auto before = snapshot(folder);
  std::istringstream input(keys);
  std::ostringstream screen;
  std::ostringstream errors;
  std::streambuf* const oldIn = std::cin.rdbuf(input.rdbuf());
  std::streambuf* const oldOut = std::cout.rdbuf(screen.rdbuf());
  std::streambuf* const oldErrors = std::cerr.rdbuf(errors.rdbuf());
  std::cin.clear();
  {
    ProgramState state;
    runMenu(state);
  }
  std::cin.rdbuf(oldIn);
  std::cout.rdbuf(oldOut);
  std::cerr.rdbuf(oldErrors);
  std::cin.clear();
  checkFolderAgainstScreen(before, snapshot(folder), screen.str());
  checkReasonsAgainstScreen(screen.str(), errors.str());

  fs::current_path(home);
  fs::remove_all(folder, ec);
  return 0;
}
