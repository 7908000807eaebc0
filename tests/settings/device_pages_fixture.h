// In-process tests of the settings pages over the device scripts: the screen fixture with its
// scripted touches and screen steps, and the scripts played by a fake runner in the test's folder.
#pragma once
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/ui/ui_message.h"
#include "base/paths.h"
#include "display/framebuffer.h"
#include "host/services.h"
#include "support/screen_steps.h"
#include "support/temp_dir.h"
#include "support/ui_screen_fixture.h"

// The words of a shell line as sh splits them (blanks, single quotes, backslashes), each marked
// when some of it was quoted: the arguments the program quoted, told from its redirections.
struct ShellWord {
  std::string text;
  bool quoted = false;
};
inline std::vector<ShellWord> shell_words(const std::string& line) {
  std::vector<ShellWord> words;
  ShellWord w;
  bool in_word = false, in_quotes = false;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (in_quotes) {
      if (c == '\'') in_quotes = false;
      else w.text += c;
    } else if (c == '\'') {
      in_quotes = in_word = w.quoted = true;
    } else if (c == '\\' && i + 1 < line.size()) {
      w.text += line[++i];
      in_word = true;
    } else if (c == ' ') {
      if (in_word) words.push_back(w);
      w = {};
      in_word = false;
    } else {
      w.text += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(w);
  return words;
}

// The device scripts, played in process: every line handed to the runner is appended to a log in
// the test's folder (a death test's child writes it too), and a verb's answer is written where the
// line sends its output. Nothing is run, except the allow-list line, which touches only files and
// runs under sh against the test's folder.
class FakeScripts {
 public:
  using Effect = std::function<void(const std::vector<std::string>& args)>;
  explicit FakeScripts(const DeviceRoot& root)
      : log_(root.host("commands.log")), us_(root.host("us")) {
    plat_set_runner([this](const char* cmd, int) { return run(cmd); });
  }
  ~FakeScripts() { plat_set_runner({}); }
  FakeScripts(const FakeScripts&) = delete;
  FakeScripts& operator=(const FakeScripts&) = delete;

  // What "<script> <verb>" writes to its standard output, e.g. answer("ql-wifi.sh ssids", "Home\n").
  void answer(const std::string& verb, const std::string& output) { answers_[verb] = output; }
  // Runs `effect` with the line's quoted arguments when the line runs the verb.
  void on(const std::string& verb, Effect effect) { effects_[verb] = std::move(effect); }
  // The verb answers -1 as a line the device did not run.
  void fails(const std::string& verb) { failing_.insert(verb); }
  // Adds a line of the test's own to the log (what a child saw, for instance).
  void note(const std::string& text) const {
    FilePtr f{fopen(log_.c_str(), "a")};
    fprintf(f.get(), "%s\n", text.c_str());
  }
  // Every line run so far, in order.
  std::vector<std::string> lines() const {
    std::vector<std::string> out;
    const std::string text = file_exists(log_) ? read_file(log_) : "";
    for (size_t at = 0; at < text.size();) {
      const size_t end = text.find('\n', at);
      out.push_back(text.substr(at, end - at));
      at = end + 1;
    }
    return out;
  }

  int status = 0;  // the runner's answer; -1 is the desktop's, which runs nothing

 private:
  int run(const std::string& cmd) {
    note(cmd);
    if (status == -1) return status;
    const std::string prefix = "sh /mnt/us/ql/bin/";
    if (cmd.starts_with("mkdir -p /mnt/us/ql/state; grep -qx ")) return run_in_folder(cmd);
    if (!cmd.starts_with(prefix)) return status;
    const std::vector<ShellWord> words = shell_words(cmd);
    std::string verb = words[1].text.substr(prefix.size() - 3);
    std::vector<std::string> args;
    std::string target;
    bool append = false;
    for (size_t i = 2; i < words.size(); ++i) {
      const ShellWord& w = words[i];
      if (w.quoted) {
        args.push_back(w.text);
      } else if (w.text.starts_with(">>")) {
        append = true;
        target = w.text.substr(2);
      } else if (w.text.starts_with(">")) {
        target = w.text.substr(1);
      } else if (i == 2) {
        verb += " " + w.text;
      }
    }
    if (failing_.count(verb)) return -1;
    if (auto e = effects_.find(verb); e != effects_.end()) e->second(args);
    // A verb without an answer leaves no file, as a script that never got to write one.
    if (auto a = answers_.find(verb); a != answers_.end() && !target.empty()) {
      FilePtr out{qlp_fopen(target.c_str(), append ? "a" : "w")};
      if (out) fwrite(a->second.data(), 1, a->second.size(), out.get());
    }
    return status;
  }
  int run_in_folder(std::string cmd) {
    for (size_t at = 0; (at = cmd.find("/mnt/us", at)) != std::string::npos; at += us_.size()) {
      cmd.replace(at, 7, us_);
    }
    return system(cmd.c_str()) == 0 ? 0 : 1;
  }

  std::string log_, us_;
  std::map<std::string, std::string> answers_;
  std::map<std::string, Effect> effects_;
  std::set<std::string> failing_;
};

class DevicePagesTest : public ScreenTest, public ScreenSteps {
 protected:
  DevicePagesTest() : ScreenSteps(touches_) {}
  // The state file's host path.
  std::string state(const std::string& name) const { return root_.state(name); }

  FakeScripts scripts_{root_};
};
