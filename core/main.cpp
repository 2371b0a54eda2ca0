#include "core/program.h"

int main() {
  return gs::RunProgram();
}
