// The queue against a local HTTPS server named in the servers file: reports sent and removed, kept
// when nothing answers or no server is set, kept with their own message when the server refuses
// them (the reports after them still sent), and never overwritten by one saved in the same second.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "settings/bug_queue.h"
#include "store/download_server.h"
#include "support/device_folder.h"

namespace {

// A port where nothing listens.
void point_at_nothing(const DeviceFolder& root) {
  write_file(root.host("us/ql/servers.conf"), "bug-reports = 127.0.0.1:9\n");
}

class BugQueue : public testing::Test {
 protected:
  std::string queued(const std::string& name) const {
    return root_.state("bug-queue/" + name);
  }
  DeviceFolder root_;
};

// Queues `n` reports saved in successive seconds; their names.
std::vector<std::string> queue_reports(int n) {
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) {
    const std::optional<std::string> name =
        bug_queue_save("{\"description\":\"report " + std::to_string(i) + "\"}", 1700000000 + i);
    EXPECT_TRUE(name);
    names.push_back(name.value_or(""));
  }
  return names;
}

std::string posted(const DownloadServer& server, int n) {
  return read_file(server.root() + "/posts/" + std::to_string(n));
}

}  // namespace

TEST_F(BugQueue, SameSecondNeverReplacesAReport) {
  const std::vector<std::string> docs = {"{\"n\":1}", "{\"n\":2}", "{\"n\":3}"};
  std::vector<std::string> names;
  for (const std::string& doc : docs) names.push_back(bug_queue_save(doc, 1700000000).value_or(""));
  EXPECT_EQ(names, (std::vector<std::string>{"1700000000.json", "1700000000_2.json",
                                             "1700000000_3.json"}));
  for (size_t i = 0; i < docs.size(); ++i) EXPECT_EQ(read_file(queued(names[i])), docs[i]);
  EXPECT_EQ(bug_queue_list(), names);  // oldest first
  struct stat st{};
  ASSERT_EQ(stat(root_.state("bug-queue").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);
}

TEST_F(BugQueue, ListShowsAtMostTwentyAndNoTemporaryFiles) {
  for (int i = 0; i < 25; ++i) bug_queue_save("{}", 1700000000 + i);
  write_file(queued("1600000000.json.tmp"), "{}");
  write_file(queued(".hidden"), "{}");
  const std::vector<std::string> names = bug_queue_list();
  ASSERT_EQ(names.size(), 20u);
  EXPECT_EQ(names.front(), "1700000000.json");
  EXPECT_EQ(names.back(), "1700000019.json");
}

TEST_F(BugQueue, NameReservedByAnUnfinishedSaveIsDropped) {
  const std::vector<std::string> names = queue_reports(1);
  write_file(queued("1600000000.json"), "");
  EXPECT_EQ(bug_queue_list(), names);
  struct stat st{};
  EXPECT_NE(stat(queued("1600000000.json").c_str(), &st), 0);
}

TEST_F(BugQueue, StorageFailureLeavesNothing) {
  write_file(root_.state("bug-queue"), "a file where the folder belongs");
  EXPECT_FALSE(bug_queue_save("{}", 1700000000));
  EXPECT_EQ(read_file(root_.state("bug-queue")), "a file where the folder belongs");
}

TEST_F(BugQueue, SentReportIsRemoved) {
  DownloadServer server;  // answers with 200
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  const std::string doc = "{\"description\":\"pages turn twice\"}";
  const std::string name = bug_queue_save(doc, 1700000000).value_or("");
  const BugSendResult r = bug_send_queued(name);
  EXPECT_EQ(r.outcome, BugSent::Sent);
  EXPECT_EQ(r.status, 200);
  EXPECT_FALSE(file_exists(queued(name)));
  EXPECT_EQ(posted(server, 1), doc);
  EXPECT_NE(server.requests().find("/api/bug CorvellNalo"), std::string::npos) << server.requests();
  EXPECT_EQ(bug_sent_message(r), "Sent. Thank you.");
}

TEST_F(BugQueue, UnanswerableReportStaysQueued) {
  point_at_nothing(root_);
  const std::string name = bug_queue_save("{}", 1700000000).value_or("");
  const BugSendResult r = bug_send_queued(name);
  EXPECT_EQ(r.outcome, BugSent::NoConnection);
  EXPECT_TRUE(file_exists(queued(name)));
  EXPECT_EQ(bug_sent_message(r),
            "No connection. Your report is saved; open Report a bug to send it later.");
}

TEST_F(BugQueue, RefusedReportStaysQueuedWithItsOwnMessage) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  server.serve("post-status", "500\n");
  const std::string name = bug_queue_save("{}", 1700000000).value_or("");
  const BugSendResult r = bug_send_queued(name);
  EXPECT_EQ(r.outcome, BugSent::Refused);
  EXPECT_EQ(r.status, 500);
  EXPECT_TRUE(file_exists(queued(name)));
  EXPECT_EQ(bug_sent_message(r),
            "The server refused the report (error 500). It is saved; open Report a bug to try "
            "again later.");
}

TEST_F(BugQueue, PassOverTheQueue) {
  struct Case {
    const char* name;
    const char* statuses;  // the server's answers in order; null: no server
    int sent;
    size_t left;
    int posts;  // with a server
    const char* message;
  } cases[] = {
      {"all taken", "201\n", 3, 0, 3, "Sent. Thank you."},
      {"no server", nullptr, 0, 3, 0, "No connection. 0 sent, the rest stays saved."},
      {"the first refused, the later ones still sent", "500\n201\n", 2, 1, 3,
       "1 report was refused by the server (error 500). 2 sent, the rest stays saved."},
      {"all refused, each tried", "503\n", 0, 3, 3,
       "3 reports were refused by the server (error 503). 0 sent, the rest stays saved."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DeviceFolder root;  // an empty queue for each case
    std::optional<DownloadServer> server;
    if (c.statuses) {
      server.emplace();
      ASSERT_TRUE(server->ready());
      server->configure(root);
      server->serve("post-status", c.statuses);
    } else {
      point_at_nothing(root);
    }
    const std::vector<std::string> names = queue_reports(3);
    const BugQueuePass pass = bug_send_queue();
    EXPECT_EQ(pass.sent, c.sent);
    EXPECT_EQ(pass.left, c.left);
    EXPECT_EQ(bug_queue_list().size(), c.left);
    EXPECT_EQ(bug_pass_message(pass), c.message);
    for (int i = 1; server && i <= 3; ++i) {
      SCOPED_TRACE(i);
      // Each report is posted once, in queue order.
      EXPECT_EQ(posted(*server, i), i <= c.posts ? "{\"description\":\"report " +
                                                       std::to_string(i - 1) + "\"}"
                                                 : "");
    }
    if (c.left == 1) {
      EXPECT_EQ(bug_queue_list().front(), names.front());
    }
  }
}

TEST_F(BugQueue, UnreadableReportIsSkipped) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  // A folder where a report file belongs cannot be read as one.
  mkdir(root_.state("bug-queue").c_str(), 0755);
  mkdir(queued("1600000000.json").c_str(), 0755);
  queue_reports(1);
  const BugQueuePass pass = bug_send_queue();
  EXPECT_EQ(pass.sent, 1);
  EXPECT_EQ(pass.left, 1u);
  EXPECT_EQ(bug_pass_message(pass), "1 report could not be read. 1 sent, the rest stays saved.");
}

TEST_F(BugQueue, PostIsCutAtItsLimit) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  server.configure(root_);
  const std::string doc(kBugPostMax + 500, 'x');
  const std::string name = bug_queue_save(doc, 1700000000).value_or("");
  EXPECT_EQ(bug_send_queued(name).outcome, BugSent::Sent);
  EXPECT_EQ(posted(server, 1), doc.substr(0, kBugPostMax));
}

// The servers file is read whole: a bug-reports line past its first 4096 bytes is posted to as
// written, never to the host a cut read leaves; a file too large to be one sends nothing and says so.
TEST_F(BugQueue, TheServersFileIsReadWholeOrRefusedSayingSo) {
  DownloadServer server;
  ASSERT_TRUE(server.ready());
  const std::string line = "bug-reports = " + server.host() + "\n";
  // The first 4096 bytes end two digits before the port does.
  const std::string comment = "# " + std::string(4096 - line.size(), 'c') + "\n";
  write_file(root_.host("us/ql/servers.conf"), comment + line);
  EXPECT_EQ(bug_endpoint(), "https://" + server.host() + "/api/bug");
  const std::vector<std::string> names = queue_reports(2);
  EXPECT_EQ(bug_send_queued(names[0]).outcome, BugSent::Sent);

  write_file(root_.host("us/ql/servers.conf"), line + "# " + std::string(64 * 1024, 'c') + "\n");
  EXPECT_EQ(bug_endpoint(), "");
  const BugSendResult r = bug_send_queued(names[1]);
  EXPECT_EQ(r.outcome, BugSent::NoServer);
  EXPECT_EQ(bug_sent_message(r),
            "ql/servers.conf in the data folder is larger than 64 KB, so none of its servers is "
            "used. Your report is saved; open Report a bug to send it once one is set.");
  EXPECT_EQ(bug_queue_list(), std::vector<std::string>{names[1]});
}

// With no servers file a report goes nowhere: it stays queued, and the user is told that no server
// is set and where to set one.
TEST_F(BugQueue, WithoutAServerNothingIsSentAnywhere) {
  DownloadServer server;  // would take anything posted to it
  ASSERT_TRUE(server.ready());
  write_file(root_.host("us/ql/servers.conf"), "# no bug-reports host\nstore = shop.example.com\n");
  EXPECT_EQ(bug_endpoint(), "");
  const std::vector<std::string> names = queue_reports(2);
  const BugSendResult r = bug_send_queued(names[0]);
  EXPECT_EQ(r.outcome, BugSent::NoServer);
  EXPECT_EQ(bug_sent_message(r),
            "No server is set for bug reports: add \"bug-reports\" to ql/servers.conf in the data "
            "folder. Your report is saved; open Report a bug to send it once one is set.");
  const BugQueuePass pass = bug_send_queue();
  EXPECT_EQ(pass.left, 2u);
  EXPECT_EQ(bug_pass_message(pass),
            "No server is set for bug reports: add \"bug-reports\" to ql/servers.conf in the data "
            "folder. 0 sent, the rest stays saved.");
  EXPECT_EQ(bug_queue_list(), names);
  EXPECT_EQ(server.requests(), "");
}
