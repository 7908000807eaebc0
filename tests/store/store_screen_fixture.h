// In-process screen tests of the downloads side: the frame, scripted touches and screen steps of
// the screen fixtures, a data folder with documents and a servers file naming reserved hosts, and
// the local download server.
#pragma once
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "support/screen_steps.h"
#include "support/ui_screen_fixture.h"
#include "download_server.h"
#include "host/plat.h"
#include "store/download_manager.h"

class StoreScreen : public ScreenTest, public ScreenSteps {
 protected:
  StoreScreen() : ScreenSteps(touches_) {}
  void SetUp() override {
    ScreenTest::SetUp();
    mkdir(docs().c_str(), 0755);
    setenv("QUILLO_DOCS", "/mnt/us/documents", 1);
    // Reserved names: nothing here reaches a host unless a test points it at its own server.
    write_file(root_.host("us/ql/servers.conf"),
               "store = shop.example.com\npayment = pay.example.com\nsite = example.com\n"
               "publisher-downloads = dl.example.org\n");
  }
  void TearDown() override {
    ql_dl_cancel();
    eventually([] { return !running(); });
    ql_dl_ack();
    unsetenv("QUILLO_DOCS");
    ScreenTest::TearDown();
  }
  static bool running() {
    const DownloadState s = ql_dl_state(nullptr, nullptr);
    return s == DL_DOWNLOADING || s == DL_UNPACKING;
  }
  std::string docs() const { return root_.host("us/documents"); }
  std::string doc(const std::string& name) const { return docs() + "/" + name; }
};
