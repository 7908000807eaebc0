// The one way the settings pages run a script verb: the exact line, the answer file removed before
// the run and read back safely, and a line the device did not run told apart from an empty answer.
#include "settings/device_script_run.h"

#include <gtest/gtest.h>

#include "device_pages_fixture.h"

namespace {
using ScriptRun = DevicePagesTest;

TEST_F(ScriptRun, EachOutputKindEndsTheLineAsTheScriptsExpect) {
  struct {
    ScriptOutput output;
    std::string tail;
  } cases[] = {
      {{}, ""},
      {{ScriptOutput::kDiscard, nullptr, 0}, " >/dev/null 2>&1"},
      {{ScriptOutput::kAnswer, "/tmp/ql-ssids.txt", 40}, " >/tmp/ql-ssids.txt 2>/dev/null"},
      {{ScriptOutput::kAnswerAndErrors, "/tmp/ql-bk.txt", 0}, " >/tmp/ql-bk.txt 2>&1"},
      {{ScriptOutput::kAppendLog, "/mnt/us/ql/wifi-join.log", 0}, " >>/mnt/us/ql/wifi-join.log 2>&1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tail);
    const size_t before = scripts_.lines().size();
    EXPECT_TRUE(script_run(ScriptLine(kScriptWifi, "forget").arg("it's", 634), c.output).ran);
    ASSERT_EQ(scripts_.lines().size(), before + 1);
    EXPECT_EQ(scripts_.lines().back(), "sh /mnt/us/ql/bin/ql-wifi.sh forget 'it'\\''s'" + c.tail);
  }
}

TEST_F(ScriptRun, AnAnswerLeftByAnEarlierRunIsNeverRead) {
  write_file(root_.host("tmp/ql-ssids.txt"), "Old network\n");
  scripts_.on("ql-wifi.sh ssids", [&](const std::vector<std::string>&) {
    scripts_.note(file_exists(root_.host("tmp/ql-ssids.txt")) ? "stale answer there" : "no answer yet");
  });
  const ScriptReply reply = script_run(ScriptLine(kScriptWifi, "ssids"), {ScriptOutput::kAnswer, "/tmp/ql-ssids.txt", 40});
  EXPECT_TRUE(reply.ran);
  EXPECT_TRUE(reply.lines.empty());
  EXPECT_EQ(scripts_.lines().back(), "no answer yet");
}

TEST_F(ScriptRun, ALineThatDidNotRunReadsNothing) {
  write_file(root_.host("tmp/ql-known.txt"), "Home\n");
  scripts_.status = -1;
  const ScriptReply reply = script_run(ScriptLine(kScriptWifi, "known"), {ScriptOutput::kAnswer, "/tmp/ql-known.txt", 40});
  EXPECT_FALSE(reply.ran);
  EXPECT_TRUE(reply.lines.empty());
  // Any other answer, a failing status included, means the line ran.
  scripts_.status = 1;
  scripts_.answer("ql-wifi.sh known", "Home\n");
  EXPECT_TRUE(script_run(ScriptLine(kScriptWifi, "known"), {ScriptOutput::kAnswer, "/tmp/ql-known.txt", 40}).ran);
}

TEST_F(ScriptRun, AnAppendedLogIsKept) {
  write_file(root_.host("us/ql/wifi-join.log"), "earlier\n");
  scripts_.answer("ql-wifi.sh forget", "forgot\n");
  script_run(ScriptLine(kScriptWifi, "forget").arg("Home", 634), {ScriptOutput::kAppendLog, "/mnt/us/ql/wifi-join.log", 0});
  EXPECT_EQ(read_file(root_.host("us/ql/wifi-join.log")), "earlier\nforgot\n");
}

TEST_F(ScriptRun, HostileAnswersAreReadWithinBounds) {
  const std::string wide(5000, 'w');
  const std::string two = "\xc3\xa9";
  struct {
    const char* name;
    bool answered;
    std::string output;
    size_t wanted;
    std::vector<std::string> lines;
  } cases[] = {
      {"missing file", false, "", 40, {}},
      {"empty file", true, "", 40, {}},
      {"blank lines only", true, "\n \r\n\n", 40, {}},
      {"tabs and metacharacters kept as written", true, "a\tb\t$(reboot)\n`x`;|&<>\n",
       40, {"a\tb\t$(reboot)", "`x`;|&<>"}},
      {"a very long line cut and its rest dropped", true, wide + "\nnext", 40,
       {std::string(159, 'w'), "next"}},
      {"a cut never splits a character", true, std::string(158, 'u') + two + "\n", 40,
       {std::string(158, 'u')}},
      {"invalid UTF-8 passed through", true, "\xff\xfe\xc3(\n", 40, {"\xff\xfe\xc3("}},
      {"a NUL ends the line", true, std::string("ab\0cd\n", 6) + "ef\n", 40, {"ab", "ef"}},
      {"no more lines than asked", true, "1\n2\n3\n4\n", 3, {"1", "2", "3"}},
      {"no final newline", true, "last", 40, {"last"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeScripts scripts(root_);
    if (c.answered) scripts.answer("ql-xfer.sh start", c.output);
    const ScriptReply reply =
        script_run(ScriptLine(kScriptXfer, "start"), {ScriptOutput::kAnswerAndErrors, "/tmp/ql-xfer.txt", c.wanted});
    EXPECT_TRUE(reply.ran);
    EXPECT_EQ(reply.lines, c.lines);
  }
}

TEST_F(ScriptRun, ShownTextHasNoControlBytes) {
  struct {
    std::string in, shown;
  } cases[] = {
      {"plain", "plain"},
      {"a\tb\rc\x1b[2Jd\x7f", "a b c [2Jd "},
      {"Caf\xc3\xa9 \xff", "Caf\xc3\xa9 \xff"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.in);
    EXPECT_EQ(script_text_shown(c.in), c.shown);
  }
}
}  // namespace
