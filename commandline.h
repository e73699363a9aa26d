#pragma once

#include <optional>

// Answers --help (or -h) and --version, which need no display: prints the
// answer on the standard output and gives the exit status, 0. Gives nothing
// for any other command line, which the program ignores (Qt reads its own
// options, such as -style, from it).
std::optional<int> answerCommandLine(int argc, char* argv[]);

// What the program prints, in Japanese and English, when it cannot reach a
// display; it then exits with status 1.
extern const char* const NoDisplayMessage;
