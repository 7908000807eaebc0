// Archives dropped on the window, driven through the common wait: what did not unpack whole is
// told on one page, naming the recordings that were skipped.
#include <gtest/gtest.h>

#include <string_view>

#include "app/ui/ui_frame.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_wait.h"
#include "store/audio_unpack.h"
#include "store_screen_fixture.h"
#include "support/zip_writer.h"

namespace {

class UnpackNotice : public StoreScreen {};

TEST_F(UnpackNotice, WhatDidNotUnpackWholeIsToldOnOnePage) {
  unpack_take_reports();  // none left by an earlier test
  std::string damaged = zipw::build({{"01.mp3", "aaaa", zipw::kStored}, {"02.mp3", "b"}});
  damaged[damaged.find("aaaa")] = 'X';
  write_file(doc("Damaged.zip"), damaged);
  write_file(doc("Whole.zip"), zipw::build({{"01.mp3", "a"}}));
  touches_.event(HOST_BOOKS_ADDED);
  shot("told");
  touches_.touch(500, 900);
  TapEvent event;
  ui_wait_event(event);
  EXPECT_EQ(event.code, TAP_REDRAW);
  EXPECT_EQ(read_file(doc("Damaged/02.mp3")), "b");
  EXPECT_EQ(read_file(doc("Whole/01.mp3")), "a");

  // The same page drawn from the notice it must hold (the whole archive adds nothing to it).
  ArchiveReport expected;
  expected.archive = "Damaged.zip";
  expected.folder = "Damaged";
  expected.outcome = ArchiveOutcome::partly;
  expected.result.skipped = {"01.mp3"};
  const std::string notice = unpack_notice(expected);
  ASSERT_NE(notice.find("01.mp3"), std::string::npos);
  shot("expected");
  touches_.touch(500, 900);
  const std::string_view lines[] = {notice};
  ui_info_page("Audiobook archives", 18, lines);
  ASSERT_TRUE(has_shot("told"));
  const std::vector<uint8_t>& told = pixels("told");
  const std::vector<uint8_t>& drawn = pixels("expected");
  const size_t below_header = size_t(kHeaderBottom) * size_t(W());
  EXPECT_TRUE(std::equal(told.begin() + std::ptrdiff_t(below_header), told.end(),
                         drawn.begin() + std::ptrdiff_t(below_header)));
  EXPECT_TRUE(ScriptedTouch::done());
}

}  // namespace
