// quarry: the SQL shell over a directory of tables (see tools/common/quarry_shell.h).
#include <iostream>
#include <string>
#include <vector>

#include "tools/common/quarry_shell.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return quarry::tools::RunQuarryShell(args, std::cin, std::cout, std::cerr);
}
