// msu-server: creates, starts and stops instances of the embedded server, attaches and
// detaches their databases, lists and kills their sessions, and runs statements on them.
#include <iostream>
#include <string>
#include <vector>

#include "cli/server_commands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return msu::cli::RunServerProgram(args, std::cout, std::cerr);
}
