#include "settings/device_script_run.h"

#include <array>

#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "base/paths.h"
#include "base/text_lines.h"

namespace {
constexpr size_t kReadLinesMax = 64;  // more than any page reads
constexpr int kNotRun = -1;

std::string redirection(const ScriptOutput& output) {
  const std::string file = output.file ? output.file : "";
  switch (output.kind) {
    case ScriptOutput::kAsBuilt: return {};
    case ScriptOutput::kDiscard: return " >/dev/null 2>&1";
    case ScriptOutput::kAnswer: return " >" + file + " 2>/dev/null";
    case ScriptOutput::kAnswerAndErrors: return " >" + file + " 2>&1";
    case ScriptOutput::kAppendLog: return " >>" + file + " 2>&1";
  }
  return {};
}

std::vector<std::string> read_answer(const char* file, size_t wanted) {
  std::array<TextLine, kReadLinesMax> buffers;
  std::array<std::string_view, kReadLinesMax> views;
  const size_t n = text_read_lines(file, std::span(buffers).first(std::min(wanted, kReadLinesMax)),
                                   views, 0, LongLines::Cut);
  return std::vector<std::string>(views.begin(), views.begin() + static_cast<long>(n));
}
}  // namespace

ScriptReply script_run(ScriptLine line, const ScriptOutput& output) {
  const bool has_file = output.file && output.kind != ScriptOutput::kAsBuilt &&
                        output.kind != ScriptOutput::kDiscard;
  if (has_file && output.kind != ScriptOutput::kAppendLog) qlp_remove(output.file);
  ScriptReply reply;
  reply.ran = line.raw(redirection(output)).run() != kNotRun;
  if (reply.ran && has_file && output.lines > 0) reply.lines = read_answer(output.file, output.lines);
  return reply;
}

std::string script_text_shown(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  return shown;
}

std::vector<std::string> script_lines_shown(const std::vector<std::string>& lines) {
  std::vector<std::string> shown;
  for (const std::string& line : lines) shown.push_back(script_text_shown(line));
  return shown;
}

std::optional<size_t> script_list_menu(std::string_view title, const std::vector<std::string>& lines) {
  const std::vector<std::string> shown = script_lines_shown(lines);
  const std::vector<std::string_view> rows(shown.begin(), shown.end());
  return ui_list_menu(title.data(), title.size(), rows);
}

void script_message(std::string_view text, int timeout_ms) {
  ui_toast_wait(text.data(), text.size(), timeout_ms);
}

void script_not_available() { script_message(kNotAvailable); }
