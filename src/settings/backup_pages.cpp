// Backup & restore: the notes and positions saved into the documents folder by the device script,
// and one saved backup put back, after which the program ends so that nothing it still holds in
// memory overwrites the restored files.
#include <array>
#include <string>
#include <vector>

#include "app/ui/app_hooks.h"
#include "app/ui/ui_confirm.h"
#include "app/ui/ui_list_menu.h"
#include "app/ui/ui_message.h"
#include "app/ui/ui_wait.h"
#include "audio/audio_engine.h"
#include "settings/device_script_run.h"
#include "settings/device_services.h"

namespace {
constexpr ScriptOutput kCreated{ScriptOutput::kAnswerAndErrors, "/tmp/ql-bk.txt", 0};
constexpr ScriptOutput kListed{ScriptOutput::kAnswer, "/tmp/ql-bk.txt", 20};
constexpr ScriptOutput kRestored{ScriptOutput::kAnswerAndErrors, "/tmp/ql-bk.txt", 0};
constexpr size_t kQuotedNameMax = 294;  // the quoted name and its closing quote within 300 bytes
constexpr int kBackupMessageMs = 1500;

void back_up_now() {
  constexpr std::string_view working = "Backing up notes and positions...";
  ui_toast(working.data(), working.size());
  // The backup takes what is on disk: the open book's position and the settings go there first.
  app_call(app_hooks.persist_all);
  if (!script_run(ScriptLine(kScriptBackup, "create"), kCreated).ran) return script_not_available();
  script_message("Backup saved in documents/Backups", kBackupMessageMs);
}

// Restores one backup; ends the process once the script has run.
void restore(const std::string& name) {
  const std::string message =
      "Restore " + script_text_shown(name) + "? Current notes are backed up first.";
  constexpr std::string_view action = "Restore";
  if (!ui_confirm(message.data(), message.size(), action.data(), action.size())) return;
  // Playback saves its position as it stops: that must happen before the restore, not after.
  ql_audio_stop();
  app_call(app_hooks.persist_all);
  if (!script_run(ScriptLine(kScriptBackup, "restore").arg(name, kQuotedNameMax), kRestored).ran) {
    return script_not_available();
  }
  ui_exit_unsaved();
}

void restore_a_backup() {
  const ScriptReply backups = script_run(ScriptLine(kScriptBackup, "list"), kListed);
  if (!backups.ran) return script_not_available();
  if (backups.lines.empty()) return script_message("No backups yet", kBackupMessageMs);
  const std::optional<size_t> chosen = script_list_menu("Restore", backups.lines);
  if (chosen) restore(backups.lines[*chosen]);
}
}  // namespace

void backup_page() {
  for (;;) {
    constexpr std::array<std::string_view, 2> rows = {"Back up now", "Restore a backup"};
    constexpr std::string_view title = "Backup & restore";
    const std::optional<size_t> chosen = ui_list_menu(title.data(), title.size(), rows);
    if (!chosen) return;
    if (*chosen == 0) back_up_now();
    else restore_a_backup();
  }
}
