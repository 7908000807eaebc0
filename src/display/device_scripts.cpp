#include "display/device_scripts.h"

#include <algorithm>
#include <array>
#include <cassert>

#include "base/shell_quote.h"

namespace {
struct ScriptVerbs {
  std::string_view script;
  std::string_view verbs;  // separated by blanks; empty for a script that takes no verb
};

// What each script answers; a line with any other verb would do nothing on the device.
constexpr std::array<ScriptVerbs, 8> kScripts = {{
    {kScriptStore, "catalog get covers checkout invoice watch order download"},
    {kScriptMorning, "opds fetch sync"},
    {kScriptWifi, "ssids join known forget brief"},
    {kScriptBt, "scan paired reconnect off pair connect disconnect forget"},
    {kScriptBackup, "create list restore"},
    {kScriptXfer, "start stop"},
    {kScriptInfo, ""},
    {kScriptRevert, ""},
}};
}  // namespace

bool script_has_verb(std::string_view script, std::string_view verb) {
  for (const ScriptVerbs& s : kScripts) {
    if (s.script != script) continue;
    if (verb.empty() || s.verbs.empty()) return verb.empty() && s.verbs.empty();
    for (std::string_view rest = s.verbs; !rest.empty();) {
      const size_t end = std::min(rest.find(' '), rest.size());
      if (rest.substr(0, end) == verb) return true;
      rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return false;
  }
  return false;
}

ScriptLine::ScriptLine(std::string_view script, std::string_view verb) {
  assert(script_has_verb(script, verb));
  line_.append("sh ").append(kScriptDir).append(script);
  if (!verb.empty()) line_.append(" ").append(verb);
}

ScriptLine& ScriptLine::arg(std::string_view text, size_t quoted_limit) {
  line_.push_back(' ');
  shell_quote_append(line_, text, quoted_limit);
  return *this;
}

ScriptLine& ScriptLine::raw(std::string_view text) {
  line_.append(text);
  return *this;
}

int ScriptLine::run(int secs) const { return ql_system_t(line_.c_str(), secs); }
