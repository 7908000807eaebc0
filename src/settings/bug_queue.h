// The queue of bug reports waiting to be sent: one JSON file per report in the state folder, posted
// over HTTPS to the configured endpoint and removed once the server took it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

constexpr const char* kBugQueueDir = "/mnt/us/ql/state/bug-queue";
constexpr const char* kBugListFile = "/tmp/ql-bugs.txt";
constexpr size_t kBugQueueListMax = 20;
// The most bytes of a report file that are posted.
constexpr size_t kBugPostMax = 11999;

// Saves a report's document in the queue (created when missing) under a name of its own: the
// second `now` + ".json", or "_2", "_3" ... before ".json" when a report of that second is queued
// already, so no report ever replaces another. The name; none when storage failed, which leaves
// nothing behind.
std::optional<std::string> bug_queue_save(std::string_view document, int64_t now);

// The queued report names, sorted (oldest first), at most kBugQueueListMax.
std::vector<std::string> bug_queue_list();

// How a post went: the server took it, nothing answered (no network, no server, a failed TLS
// handshake), no server is configured (nothing was sent anywhere), the server answered with an
// error, or the file could not be read.
enum class BugSent { Sent, NoConnection, NoServer, Refused, Unreadable };
struct BugSendResult {
  BugSent outcome = BugSent::NoConnection;
  int status = 0;  // the HTTP status the server answered (0 when none)
};

// The endpoint: "https://" + the "bug-reports" host of ql/servers.conf + "/api/bug"; empty while
// none is set.
std::string bug_endpoint();

// Posts the report file at the device path (its first kBugPostMax bytes) to the endpoint.
BugSendResult ql_bug_send(const char* path);
// Posts the queued report `name` and removes its file when the server took it.
BugSendResult bug_send_queued(std::string_view name);

// One pass over the queue: each listed report is posted in order; a refused or unreadable one is
// kept and the next is tried, and a connection failure or a missing server ends the pass (the rest
// would fail alike).
struct BugQueuePass {
  int sent = 0;
  int refused = 0;        // refused by the server or unreadable, still queued
  int refused_status = 0; // the last refusal's HTTP status (0: a file that could not be read)
  bool no_connection = false;
  bool no_server = false;
  size_t left = 0;        // reports queued after the pass
};
BugQueuePass bug_send_queue();

// What the user is told after a pass, and after sending the report just written.
std::string bug_pass_message(const BugQueuePass& pass);
std::string bug_sent_message(const BugSendResult& result);
