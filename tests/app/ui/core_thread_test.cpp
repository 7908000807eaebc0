// The state only the core thread may touch: once start-up has named the core thread, a save of
// that state from any other thread stops the program instead of racing the core.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "app/ui/app_state.h"
#include "app/ui/ui_state.h"
#include "support/device_root.h"

TEST(CoreThread, StateTouchedFromAnotherThreadStopsTheProgram) {
  DeviceRoot root;
  EXPECT_DEATH(
      {
        app_set_core_thread();
        std::thread other([] { ui_save(); });
        other.join();
      },
      "state of the core thread touched from another thread");
  // The core thread itself, and any thread before start-up names one, pass.
  EXPECT_EXIT(
      {
        std::thread before([] { ui_save(); });
        before.join();
        app_set_core_thread();
        ui_save();
        exit(0);
      },
      testing::ExitedWithCode(0), "");
}
