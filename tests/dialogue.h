#ifndef KESTROVANE_TESTS_DIALOGUE_H
#define KESTROVANE_TESTS_DIALOGUE_H

#include <gtest/gtest.h>

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "app/program_state.h"

// The menu exactly as it is shown before every choice.
extern const std::string kMenu;

// Runs the menu loop in this process with `keys` as standard input and returns everything it
// wrote to standard output. `state` is left as the run left it.
std::string runDialogue(std::string_view keys, ProgramState& state);
std::string runDialogue(std::string_view keys);
// As above, and runs `step` just before the program first reads the key at `stepAt` of `keys`:
// a change to the files lands at a chosen moment of the dialogue, such as between a listing and
// its answer.
std::string runDialogue(std::string_view keys, std::size_t stepAt,
                        const std::function<void()>& step);
// What the last dialogue run wrote to standard error.
const std::string& dialogueErrors();

// Each test runs in a fresh temporary folder of its own, its current directory.
class DialogueTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::filesystem::path folder_;

 private:
  std::filesystem::path previous_;
};

void writeFile(const std::filesystem::path& path, std::string_view content);
std::string readFile(const std::filesystem::path& path);
// The names of the entries of a folder, sorted, joined by spaces.
std::string listFolder(const std::filesystem::path& folder = ".");

#endif  // KESTROVANE_TESTS_DIALOGUE_H
