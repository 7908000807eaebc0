// A local HTTPS server for download tests, reachable under every download host's name: a python
// file server with a certificate made here, and curl told through its own configuration file
// (CURL_HOME/.curlrc, which only tests set) to connect every host to it and trust the certificate.
#pragma once
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "store/download_hosts.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

// Polls `done` until it holds, for at most a minute (a hang fails instead of blocking the run).
inline bool eventually(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return done();
}

class DownloadServer {
 public:
  DownloadServer() {
    mkdir(root().c_str(), 0755);
    std::string names;
    for (std::string_view host : kDownloadHosts) names += ",DNS:" + std::string(host);
    const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=" +
                            std::string(kPublisherDownloadHost) + " -addext subjectAltName=" +
                            names.substr(1) + " -keyout '" + dir_ / "key.pem" + "' -out '" +
                            dir_ / "cert.pem" + "' >/dev/null 2>&1";
    if (system(cmd.c_str()) != 0) return;
    pid_ = start_program("python3",
                         {std::string(QL_SOURCE_DIR) + "/tests/support/https_file_server.py",
                          root(), dir_ / "cert.pem", dir_ / "key.pem", dir_ / "port"},
                         {});
    if (pid_ < 0 || !eventually([this] { return file_exists(dir_ / "port"); })) return;
    write_file(dir_ / ".curlrc", "connect-to = \"::127.0.0.1:" + read_file(dir_ / "port") +
                                     "\"\ncacert = \"" + dir_ / "cert.pem" + "\"\n");
    setenv("CURL_HOME", dir_.path().c_str(), 1);
    ready_ = true;
  }
  ~DownloadServer() {
    unsetenv("CURL_HOME");
    if (pid_ > 0) {
      write_file(root() + "/stop", "");
      kill(pid_, SIGTERM);
      wait_program(pid_, 10000);
    }
  }
  DownloadServer(const DownloadServer&) = delete;
  DownloadServer& operator=(const DownloadServer&) = delete;

  bool ready() const { return ready_; }
  // The folder served: /files/NAME serves root()/NAME.
  std::string root() const { return dir_ / "served"; }
  void serve(const std::string& name, const std::string& bytes) const {
    write_file(root() + "/" + name, bytes);
  }
  // Lets the held transfers finish.
  void release() const { write_file(root() + "/release", ""); }
  std::string requests() const { return read_file(root() + "/requests.log"); }

 private:
  TempDir dir_;
  int pid_ = -1;
  bool ready_ = false;
};
