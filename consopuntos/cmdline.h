// The program's arguments by position: position 0 is the program, empty
// arguments are dropped before counting, a position past the end is empty.
#pragma once

#include <string>
#include <vector>

void SetCommandLine(int argc, char** argv);
void SetCommandLine(std::vector<std::string> args);
[[nodiscard]] std::string ParamStr(int position);

// Splits a command line the way the program counts its arguments: blanks and
// control characters separate, double quotes group and are dropped, an empty
// quoted argument takes no position.
[[nodiscard]] std::vector<std::string> SplitCommandLine(const std::string& line);
