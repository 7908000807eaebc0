// The application core's entry: tool modes or the interactive program.
#pragma once
#include "shell/errors.h"

// The process exit status: a named error from app_main is printed as "quillo: <name>" and gives 1.
int nalo_main(int argc, char** argv);

AppResult app_main(int argc, char** argv);

// What the command line asks for, decided by the first option and the argument count (which
// includes the program name).
enum class ToolMode {
  Interactive,
  RenderUsage,
  Hyphenate,
  BenchOpen,
  OpdsParse,
  Screen,
  Render,
};
ToolMode app_dispatch(int argc, char** argv);

// The start-up sequence and the main loop; returns only when the display cannot be set up.
// "--open" and a path as the first arguments open that book after start-up.
int app_interactive(int argc, char** argv);
