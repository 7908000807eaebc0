// The real program, headless, over a data folder and a temporary folder of a test's own, driven by
// a script that may grow while it runs: for tests that quit, signal or kill it and start it again.
#pragma once
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

class ProgramSession {
 public:
  TempDir dir;
  std::string data = dir / "data";
  std::string docs = data + "/documents";
  std::string state = data + "/ql/state";
  std::string tmp = dir / "tmp";  // $TMPDIR: where the per-run folders are made
  std::string script = dir / "script";

  ProgramSession() {
    for (const std::string& f : {docs, state, tmp}) std::filesystem::create_directories(f);
  }

  // Starts the program with `args` and the script so far; the sound goes to SDL's dummy driver.
  int start(const std::string& program, const std::vector<std::string>& args,
            const std::string& lines) const {
    write_file(script, lines);
    return start_program(program, args,
                         {{"CVNL_DATA", data},
                          {"CVNL_HEADLESS", "1"},
                          {"CVNL_TEST", script},
                          {"CVNL_NO_SAMPLES", "1"},
                          {"TMPDIR", tmp},
                          {"SDL_AUDIODRIVER", "dummy"}});
  }
  void add(const std::string& lines) const { write_file(script, read_file(script) + lines); }
  std::string log() const { return read_file(data + "/ql/quillo.log"); }
};

// The player's Play button in portrait, for a book opened with "--open".
constexpr int kPlayerPlayX = 1072 / 2, kPlayerPlayY = 900;

// Waits on the engine, not on time: true once audio.status in `state` says a part plays at least
// `seconds` in (at most a minute).
inline bool wait_playing(const std::string& state, double seconds) {
  return eventually([&] {
    double position = 0, duration = 0;
    int playing = 0;
    const std::string text = read_file(state + "/audio.status");
    return sscanf(text.c_str(), "%lf %lf %d", &position, &duration, &playing) == 3 && playing == 1 &&
           position >= seconds;
  });
}
