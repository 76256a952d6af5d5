#include "app/menu.h"
#include "app/program_state.h"

int main() {
  ProgramState state;
  runMenu(state);
  return 0;
}
