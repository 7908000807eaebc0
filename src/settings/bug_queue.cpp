#include "settings/bug_queue.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "base/atomic_file.h"
#include "base/paths.h"
#include "base/system_services.h"
#include "base/text_lines.h"
#include "host/plat.h"
#include "store/servers.h"

namespace {

constexpr std::string_view kBugPath = "/api/bug";
std::string no_server_text() {
  return server_unset_text(servers_load(), "bug-reports",
                           "No server is set for bug reports: add \"bug-reports\" to " +
                               std::string(kServersFileShown) + ".");
}
// Reports saved within one second get "_2" up to this suffix.
constexpr int kSameSecondMax = 99;

std::string queue_path(std::string_view name) {
  return std::string(kBugQueueDir) + "/" + std::string(name);
}

std::string report_name(int64_t now, int k) {
  std::string name = std::to_string(now);
  if (k > 1) name.append("_").append(std::to_string(k));
  return name + ".json";
}

// Takes the first free name of that second by creating its file exclusively; the empty file holds
// the name until the document replaces it.
std::optional<std::string> reserve_name(int64_t now) {
  for (int k = 1; k <= kSameSecondMax; ++k) {
    const std::string name = report_name(now, k);
    const int fd = qlp_open(queue_path(name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      return name;
    }
    if (errno != EEXIST) return std::nullopt;
  }
  return std::nullopt;
}

std::string plural(int n, std::string_view one, std::string_view many) {
  return std::to_string(n) + std::string(n == 1 ? one : many);
}

}  // namespace

std::optional<std::string> bug_queue_save(std::string_view document, int64_t now) {
  qlp_mkdir(kBugQueueDir, 0755);
  const std::optional<std::string> name = reserve_name(now);
  if (!name) return std::nullopt;
  const std::string path = queue_path(*name);
  if (!file_write_atomic(path.c_str(), document.data(), document.size())) {
    // A failed final rename leaves the temporary file: remove it with the reserved name.
    char tmp[kTmpPathSize];
    qlp_remove(path_with_tmp_suffix(tmp, path.c_str()));
    qlp_remove(path.c_str());
    return std::nullopt;
  }
  return name;
}

std::vector<std::string> bug_queue_list() {
  std::vector<std::string> names;
  if (ql_list_dir(kBugQueueDir, kBugListFile) <= 0) return names;
  std::array<TextLine, kBugQueueListMax> buffers;
  std::array<std::string_view, kBugQueueListMax> lines;
  const size_t n = text_read_lines(kBugListFile, buffers, lines, 0);
  for (size_t i = 0; i < n; ++i) {
    // An empty file is a name reserved by a save that never finished: it holds no report, and the
    // server would refuse it on every pass.
    const std::string path = queue_path(lines[i]);
    if (ql_file_size(path.c_str()) == 0) {
      qlp_remove(path.c_str());
      continue;
    }
    names.emplace_back(lines[i]);
  }
  return names;
}

std::string bug_endpoint() { return server_address(servers_load().bug_reports, kBugPath); }

BugSendResult ql_bug_send(const char* path) {
  static std::array<char, kBugPostMax + 1> body;
  FilePtr f(qlp_fopen(path, "rb"));
  if (!f) return {BugSent::Unreadable, 0};
  const size_t length = fread(body.data(), 1, kBugPostMax, f.get());
  if (ferror(f.get())) return {BugSent::Unreadable, 0};
  body[length] = '\0';
  const std::string endpoint = bug_endpoint();
  if (endpoint.empty()) return {BugSent::NoServer, 0};
  // curl prints 000 when nothing answered, which reads as 0.
  const int status = plat_post(endpoint.c_str(), body.data(), length);
  if (status >= 200 && status <= 299) return {BugSent::Sent, status};
  if (status == 0) return {BugSent::NoConnection, 0};
  return {BugSent::Refused, status};
}

BugSendResult bug_send_queued(std::string_view name) {
  const std::string path = queue_path(name);
  const BugSendResult result = ql_bug_send(path.c_str());
  if (result.outcome == BugSent::Sent) qlp_remove(path.c_str());
  return result;
}

BugQueuePass bug_send_queue() {
  BugQueuePass pass;
  for (const std::string& name : bug_queue_list()) {
    const BugSendResult r = bug_send_queued(name);
    if (r.outcome == BugSent::Sent) {
      ++pass.sent;
    } else if (r.outcome == BugSent::NoConnection || r.outcome == BugSent::NoServer) {
      pass.no_connection = r.outcome == BugSent::NoConnection;
      pass.no_server = r.outcome == BugSent::NoServer;
      break;
    } else {
      ++pass.refused;
      pass.refused_status = r.status;
    }
  }
  pass.left = bug_queue_list().size();
  return pass;
}

std::string bug_pass_message(const BugQueuePass& pass) {
  if (pass.left == 0) return "Sent. Thank you.";
  const std::string rest = std::to_string(pass.sent) + " sent, the rest stays saved.";
  if (pass.no_connection) return "No connection. " + rest;
  if (pass.no_server) return no_server_text() + " " + rest;
  if (pass.refused == 0) return rest;
  std::string why = plural(pass.refused, " report", " reports");
  if (pass.refused_status == 0) {
    why += " could not be read. ";
  } else {
    why += std::string(pass.refused == 1 ? " was" : " were") + " refused by the server (error " +
           std::to_string(pass.refused_status) + "). ";
  }
  return why + rest;
}

std::string bug_sent_message(const BugSendResult& result) {
  switch (result.outcome) {
    case BugSent::Sent: return "Sent. Thank you.";
    case BugSent::NoConnection:
      return "No connection. Your report is saved; open Report a bug to send it later.";
    case BugSent::NoServer:
      return no_server_text() +
             " Your report is saved; open Report a bug to send it once one is set.";
    case BugSent::Refused:
      return "The server refused the report (error " + std::to_string(result.status) +
             "). It is saved; open Report a bug to try again later.";
    case BugSent::Unreadable: break;
  }
  return "Could not read the saved report. It stays in the queue.";
}
