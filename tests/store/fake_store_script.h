// Stands in for the store script at the host's runner: records every command line and, for the
// verbs a test gives an answer for, leaves the files the script would (the catalogue, the checkout
// answer, the downloaded book's path, cover images, a bought book), in the shapes the device's
// script writes and nothing more. A verb without an answer leaves nothing, like a script that
// failed.
#pragma once
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/services.h"
#include "support/device_folder.h"
#include "support/temp_dir.h"

class FakeStoreScript {
 public:
  explicit FakeStoreScript(const DeviceFolder& root) : root_(root) {
    plat_set_runner([this](const char* cmd, int) { return run(cmd); });
  }
  ~FakeStoreScript() { plat_set_runner(nullptr); }
  FakeStoreScript(const FakeStoreScript&) = delete;
  FakeStoreScript& operator=(const FakeStoreScript&) = delete;

  std::optional<std::string> catalog;         // store-catalog.json after "catalog"
  std::optional<std::string> checkout;        // store-resp.json after "checkout"
  std::optional<std::string> downloaded;      // /tmp/ql-dl.path after "get"
  std::map<std::string, std::string> covers;  // cover key -> image bytes, after "covers"
  std::optional<std::string> invoice;         // store-invoice.json after "invoice"
  std::optional<std::string> order;           // store-order.json after "order"
  bool desktop = false;                       // nothing runs: every line is answered -1
  // "download": stores the book the line's address and title (unquoted) name and gives what the
  // script prints to /tmp/ql-dl.path; unset leaves no such file.
  std::function<std::string(const std::string& address, const std::string& title)> download;
  // The runner's answer for a verb's lines (0 when not listed), given after the files were left.
  std::map<std::string, int> answers;

  std::vector<std::string> lines;     // every line handed to the runner
  std::vector<std::string> requests;  // store-req.json as each "checkout" found it

  // store-order.json in the shape the device's script writes it: the order's downloads and the
  // titles of its items, and no more.
  struct Bought {
    std::string url, title;
  };
  static std::string order_json(const std::vector<Bought>& downloads,
                                const std::string& item_title) {
    std::string list;
    for (const Bought& b : downloads) {
      if (!list.empty()) list += ",";
      list += "{\"url\":\"" + b.url + "\",\"title\":\"" + b.title + "\"}";
    }
    return "{\"order\":{\"downloads\":[" + list + "],\"items\":[{\"title\":\"" + item_title +
           "\"}]}}";
  }
  // The watcher's report as the device's script writes it: one word on its line.
  void report(const std::string& word) const {
    write_file(root_.state("store-pay.state"), word + "\n");
  }

  // The lines that ran the store script's `verb`.
  std::vector<std::string> verb_lines(const std::string& verb) const {
    std::vector<std::string> out;
    for (const std::string& l : lines) {
      if (verb_of(l) == verb) out.push_back(l);
    }
    return out;
  }

 private:
  static constexpr char kPrefix[] = "sh /mnt/us/ql/bin/ql-store.sh ";

  static std::string verb_of(const std::string& line) {
    if (line.rfind(kPrefix, 0) != 0) return {};
    const size_t from = sizeof kPrefix - 1;
    return line.substr(from, line.find(' ', from) - from);
  }

  // The quoted words after the verb, as the shell reads them, up to the redirections.
  static std::vector<std::string> args_of(const std::string& line) {
    std::vector<std::string> out;
    size_t i = line.find(' ', sizeof kPrefix - 1);
    while (i < line.size() && line[i] == ' ' && i + 1 < line.size() && line[i + 1] == '\'') {
      ++i;
      std::string word;
      while (i < line.size() && line[i] != ' ') {
        if (line[i] == '\\' && i + 1 < line.size()) {
          word.push_back(line[i + 1]);
          i += 2;
          continue;
        }
        const size_t end = line.find('\'', i + 1);
        if (line[i] != '\'' || end == std::string::npos) return out;
        word.append(line, i + 1, end - i - 1);
        i = end + 1;
      }
      out.push_back(word);
    }
    return out;
  }

  int run(const char* cmd) {
    const std::string line = cmd;
    lines.push_back(line);
    if (desktop) return -1;
    const std::string verb = verb_of(line);
    if (verb == "catalog" && catalog) write_file(root_.state("store-catalog.json"), *catalog);
    if (verb == "checkout") {
      requests.push_back(file_exists(root_.state("store-req.json"))
                             ? read_file(root_.state("store-req.json"))
                             : "");
      if (checkout) write_file(root_.state("store-resp.json"), *checkout);
    }
    if (verb == "get" && downloaded) write_file(root_.host("tmp/ql-dl.path"), *downloaded);
    if (verb == "invoice" && invoice) write_file(root_.state("store-invoice.json"), *invoice);
    if (verb == "order" && order) write_file(root_.state("store-order.json"), *order);
    if (verb == "download" && download) {
      std::vector<std::string> args = args_of(line);
      args.resize(2);
      write_file(root_.host("tmp/ql-dl.path"), download(args[0], args[1]));
    }
    if (verb == "covers") {
      mkdir(root_.state("covers").c_str(), 0755);
      for (const auto& [key, bytes] : covers) {
        if (line.find(" " + key + " '") != std::string::npos)
          write_file(root_.state("covers/s" + key + ".img"), bytes);
      }
    }
    if (verb.empty()) return -1;
    const auto answer = answers.find(verb);
    return answer == answers.end() ? 0 : answer->second;
  }

  const DeviceFolder& root_;
};
