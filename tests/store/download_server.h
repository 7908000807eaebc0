// A local HTTPS server for download tests: a python file server on 127.0.0.1 with a certificate
// made here. The program is pointed at it through ql/servers.conf (configure), and curl trusts the
// certificate through its own configuration file (CURL_HOME/.curlrc, which only tests set).
#pragma once
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "support/device_folder.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

class DownloadServer {
 public:
  DownloadServer() {
    mkdir(root().c_str(), 0755);
    const std::string cmd =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -addext "
        "subjectAltName=IP:127.0.0.1 -keyout '" +
        dir_ / "key.pem" + "' -out '" + dir_ / "cert.pem" + "' >/dev/null 2>&1";
    if (system(cmd.c_str()) != 0) return;
    pid_ = start_program("python3",
                         {std::string(QL_SOURCE_DIR) + "/tests/support/https_file_server.py",
                          root(), dir_ / "cert.pem", dir_ / "key.pem", dir_ / "port"},
                         {});
    if (pid_ < 0 || !eventually([this] { return file_exists(dir_ / "port"); })) return;
    write_file(dir_ / ".curlrc", "cacert = \"" + dir_ / "cert.pem" + "\"\n");
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
  // The server as a host of ql/servers.conf: "127.0.0.1:PORT".
  std::string host() const { return "127.0.0.1:" + read_file(dir_ / "port"); }
  std::string url(const std::string& path) const { return "https://" + host() + path; }
  // Names the server as every host in the servers file of the data folder (its host path).
  void configure_folder(const std::string& data) const {
    std::string text = "# the test's own server\n";
    for (const char* key :
         {"store", "payment", "site", "bug-reports", "publisher", "publisher-downloads"}) {
      text += std::string(key) + " = " + host() + "\n";
    }
    write_file(data + "/ql/servers.conf", text);
  }
  void configure(const DeviceFolder& root) const { configure_folder(root.host("us")); }
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
