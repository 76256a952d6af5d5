#include "app/menu.h"
#include "app/program_state.h"
#include "codec/platform.h"

int main() {
  ignoreFileSizeLimit();
  ProgramState state;
  runMenu(state);
  return 0;
}
