#include "support/audio_fixtures.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "base/byte_reader.h"

bool run_command(const std::string& cmd) { return system(cmd.c_str()) == 0; }

std::string capture_command(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[65536];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

bool make_test_audio(const std::string& path, double seconds, int rate, int channels,
                     const std::string& codec_args, const std::string& extra) {
  std::string expr = "0.4*sin(2*PI*(200+300*t)*t)";
  if (channels == 2) expr += "|0.3*sin(2*PI*(700-100*t)*t)";
  std::ostringstream cmd;
  cmd << "ffmpeg -v error -y -f lavfi -i 'aevalsrc=" << expr << ":s=" << rate << ":d=" << seconds
      << "' " << extra << " " << codec_args << " '" << path << "' </dev/null";
  return run_command(cmd.str());
}

std::vector<int16_t> ffmpeg_decode(const std::string& path, int channels,
                                   const std::string& decoder) {
  std::string cmd = "ffmpeg -v error " + (decoder.empty() ? "" : "-c:a " + decoder + " ") +
                    "-i '" + path + "' -f s16le -ac " + std::to_string(channels) + " - </dev/null";
  std::string raw = capture_command(cmd);
  std::vector<int16_t> out(raw.size() / 2);
  ByteReader samples(raw);
  for (int16_t& s : out) s = static_cast<int16_t>(samples.u16le());
  return out;
}

std::vector<ProbedChapter> ffprobe_chapters(const std::string& path) {
  std::string text = capture_command("ffprobe -v error -show_entries chapter=start_time:chapter_tags=title -of compact=p=0:nk=1 '" + path + "'");
  std::vector<ProbedChapter> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t bar = line.find('|');
    if (bar == std::string::npos) continue;
    out.push_back({atof(line.substr(0, bar).c_str()), line.substr(bar + 1)});
  }
  return out;
}
