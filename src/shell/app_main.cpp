#include "shell/app_main.h"

#include <cstdio>
#include <cstring>

#include "shell/app_connect.h"
#include "shell/tool_modes.h"
#include "app/ui/app_state.h"

namespace {
bool is_option(const char* arg, const char* option) { return strcmp(arg, option) == 0; }
}  // namespace

ToolMode app_dispatch(int argc, char** argv) {
  if (argc < 2) return ToolMode::Interactive;
  const char* opt = argv[1];
  // The order matters: "--render" without its book and PNG is a usage error, not a start.
  if ((argc == 2 || argc == 3) && is_option(opt, "--render")) return ToolMode::RenderUsage;
  if (argc >= 4 && is_option(opt, "--hyph")) return ToolMode::Hyphenate;
  if (argc >= 3 && is_option(opt, "--bench-open")) return ToolMode::BenchOpen;
  if (argc >= 3 && is_option(opt, "--opds-parse")) return ToolMode::OpdsParse;
  if (argc >= 4 && is_option(opt, "--screen")) return ToolMode::Screen;
  if (argc >= 4 && is_option(opt, "--render")) return ToolMode::Render;
  return ToolMode::Interactive;
}

AppResult app_main(int argc, char** argv) {
  switch (app_dispatch(argc, argv)) {
    case ToolMode::RenderUsage: return 2u;
    case ToolMode::Hyphenate: return tool_hyphenate(argc, argv);
    case ToolMode::BenchOpen: return tool_bench_open(argc, argv);
    case ToolMode::OpdsParse: return tool_opds_parse(argc, argv);
    case ToolMode::Screen: return tool_screen(argc, argv);
    case ToolMode::Render: return tool_render(argc, argv);
    case ToolMode::Interactive: break;
  }
  return static_cast<uint32_t>(app_interactive(argc, argv));
}

int nalo_main(int argc, char** argv) {
  app_set_core_thread();
  app_connect_hooks();
  AppResult r = app_main(argc, argv);
  if (r.error) {
    fprintf(stderr, "quillo: %s\n", app_error_name(*r.error));
    return 1;
  }
  return static_cast<int>(r.status);
}
