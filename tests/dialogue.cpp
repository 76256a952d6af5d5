#include "tests/dialogue.h"

#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "app/menu.h"

namespace fs = std::filesystem;

const std::string kMenu = R"(
                 Welcome to Kestrovane Version 1.1 
------------------------------------------------------------------
                              Menu                                
Press: 
E for encode, D for decode, M for manual encode, 
H for help, A for about, or X for exit
)";

namespace {

// Hands the keys out one at a time, so that the step runs when the program actually reaches
// the key it is tied to, not when the stream fills a buffer.
class SteppedKeys : public std::streambuf {
 public:
  SteppedKeys(std::string_view keys, std::size_t stepAt, std::function<void()> step)
      : keys_(keys), stepAt_(stepAt), step_(std::move(step)) {}

 protected:
  int_type underflow() override {
    if (next_ >= keys_.size()) {
      return traits_type::eof();
    }
    if (next_ == stepAt_ && step_) {
      std::exchange(step_, nullptr)();
    }
    current_ = keys_[next_++];
    setg(&current_, &current_, &current_ + 1);
    return traits_type::to_int_type(current_);
  }

 private:
  std::string keys_;
  std::size_t next_ = 0;
  std::size_t stepAt_;
  std::function<void()> step_;
  char current_ = 0;
};

std::string errors;

std::string runOn(std::streambuf* keys, ProgramState& state) {
  std::ostringstream output;
  std::ostringstream told;
  std::streambuf* const oldIn = std::cin.rdbuf(keys);
  std::streambuf* const oldOut = std::cout.rdbuf(output.rdbuf());
  std::streambuf* const oldErrors = std::cerr.rdbuf(told.rdbuf());
  std::cin.clear();
  runMenu(state);
  std::cin.rdbuf(oldIn);
  std::cout.rdbuf(oldOut);
  std::cerr.rdbuf(oldErrors);
  std::cin.clear();
  errors = told.str();
  return output.str();
}

}  // namespace

const std::string& dialogueErrors() {
  return errors;
}

std::string runDialogue(std::string_view keys, ProgramState& state) {
  std::istringstream input{std::string(keys)};
  return runOn(input.rdbuf(), state);
}

std::string runDialogue(std::string_view keys) {
  ProgramState state;
  return runDialogue(keys, state);
}

std::string runDialogue(std::string_view keys, std::size_t stepAt,
                        const std::function<void()>& step) {
  SteppedKeys input(keys, stepAt, step);
  ProgramState state;
  return runOn(&input, state);
}

void DialogueTest::SetUp() {
  previous_ = fs::current_path();
  std::random_device seed;
  folder_ = fs::temp_directory_path() / ("kestrovane-test-" + std::to_string(seed()));
  fs::create_directories(folder_);
  fs::current_path(folder_);
}

void DialogueTest::TearDown() {
  fs::current_path(previous_);
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

void writeFile(const fs::path& path, std::string_view content) {
  std::ofstream file(path, std::ios::binary);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string listFolder(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const auto& name : names) {
    joined += (joined.empty() ? "" : " ") + name;
  }
  return joined;
}
