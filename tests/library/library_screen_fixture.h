// Library screens driven in-process on the portrait frame, over a fresh library root.
#pragma once
#include "library_fixture.h"
#include "support/screen_steps.h"
#include "support/scripted_touch.h"
#include "support/ui_screen_fixture.h"

class LibraryScreenTest : public ScreenFrameTest, public ScreenSteps {
 protected:
  LibraryScreenTest() : ScreenSteps(touches_) {}

  LibraryRoot root_;
  ScriptedTouch touches_;
};
