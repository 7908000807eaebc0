// The POST against a local HTTPS server: openssl's test server with a certificate made here, curl
// told to trust it through its CA-bundle environment variable.
#include "base/paths.h"
#include "host/plat.h"
#include "support/event_ceiling.h"
#include "support/temp_dir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

extern char** environ;

namespace {

// A port on 127.0.0.1 that nothing listens on right now.
int free_port() {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t n = sizeof a;
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
  close(s);
  return ntohs(a.sin_port);
}

bool wait_for_text(const std::string& file, const std::string& text, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    if (read_file(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// openssl s_server answering one connection: it logs the request to a file and sends whatever
// the test writes to its standard input.
class TlsServer {
 public:
  TlsServer(const TempDir& dir, int port) : log_(dir / "server.log") {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, log_.c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&fa, STDOUT_FILENO, STDERR_FILENO);
    const std::string accept = "127.0.0.1:" + std::to_string(port);
    const std::string cert = dir / "cert.pem", key = dir / "key.pem";
    // The time limit ends a server left behind by a test that died.
    const char* argv[] = {"timeout", "60", "openssl", "s_server", "-accept", accept.c_str(),
                          "-cert", cert.c_str(), "-key", key.c_str(), "-naccept", "1", nullptr};
    if (posix_spawnp(&pid_, "timeout", &fa, nullptr, const_cast<char**>(argv), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&fa);
    close(fds[0]);
    in_ = fds[1];
  }
  ~TlsServer() {
    if (in_ >= 0) close(in_);
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool ready() const { return pid_ > 0 && wait_for_text(log_, "ACCEPT", kEventCeilingMs); }
  void reply(const std::string& response) {
    [[maybe_unused]] ssize_t n = write(in_, response.data(), response.size());
    close(in_);
    in_ = -1;
  }
  std::string request() const { return read_file(log_); }
  const std::string& log() const { return log_; }

 private:
  std::string log_;
  pid_t pid_ = -1;
  int in_ = -1;
};

class Post : public ::testing::Test {
 protected:
  TempDir certs, tmp, data;
  void SetUp() override {
    ql_set_root(data.path().c_str(), tmp.path().c_str());
    const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
                            " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
                            certs / "key.pem" + "' -out '" + certs / "cert.pem" +
                            "' >/dev/null 2>&1";
    ASSERT_EQ(system(cmd.c_str()), 0) << "openssl is needed to make the test certificate";
    setenv("CURL_CA_BUNDLE", (certs / "cert.pem").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("CURL_CA_BUNDLE");
    ql_set_root(nullptr, nullptr);
  }
  std::string body_file() const { return tmp / "ql-post.json"; }
};

}  // namespace

TEST_F(Post, ServerAnswering201) {
  const int port = free_port();
  TlsServer server(certs, port);
  ASSERT_TRUE(server.ready()) << read_file(server.log());
  const std::string body = R"({"description":"pages turn twice","log":"x"})";
  const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/api/bug";
  auto status = std::async(std::launch::async,
                           [&] { return plat_post(url.c_str(), body.data(), body.size()); });
  ASSERT_TRUE(wait_for_text(server.log(), body, kEventCeilingMs)) << server.request();
  EXPECT_TRUE(fs::exists(body_file()));  // the body goes through the scratch file
  server.reply("HTTP/1.1 201 Created\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(status.get(), 201);
  const std::string req = server.request();
  EXPECT_NE(req.find("POST /api/bug HTTP/1.1"), std::string::npos) << req;
  EXPECT_NE(req.find("User-Agent: CorvellNalo"), std::string::npos);
  EXPECT_NE(req.find("Content-Type: application/json"), std::string::npos);
  EXPECT_NE(req.find("Content-Length: " + std::to_string(body.size())), std::string::npos);
  EXPECT_FALSE(fs::exists(body_file()));
}

TEST_F(Post, OnlyHttpsAndNothingStarted) {
  // Refused before the body is written, so curl is never started.
  const char* refused[] = {"http://127.0.0.1:9/api/bug", "ftp://x", "HTTPS://x", "", "https:/x"};
  for (const char* url : refused) {
    SCOPED_TRACE(url);
    EXPECT_EQ(plat_post(url, "{}", 2), 0);
    EXPECT_FALSE(fs::exists(body_file()));
  }
  EXPECT_EQ(plat_post(nullptr, "{}", 2), 0);
}

TEST_F(Post, UnreachableServerGivesZero) {
  const std::string url = "https://127.0.0.1:" + std::to_string(free_port()) + "/api/bug";
  EXPECT_EQ(plat_post(url.c_str(), "{}", 2), 0);
  EXPECT_FALSE(fs::exists(body_file()));
}

TEST_F(Post, UntrustedCertificateGivesZero) {
  unsetenv("CURL_CA_BUNDLE");
  const int port = free_port();
  TlsServer server(certs, port);
  ASSERT_TRUE(server.ready());
  const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/api/bug";
  EXPECT_EQ(plat_post(url.c_str(), "{}", 2), 0);
  EXPECT_FALSE(fs::exists(body_file()));
}

TEST_F(Post, BodyFileThatCannotBeWrittenGivesZero) {
  ql_set_root(data.path().c_str(), (tmp / "no-such-folder").c_str());
  EXPECT_EQ(plat_post("https://127.0.0.1:9/x", "{}", 2), 0);
}
