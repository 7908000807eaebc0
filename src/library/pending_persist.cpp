// Stand-in until the reading-progress index exists: saves the state that exists so far.
#include "library/progress_index.h"

#include "app/settings_file.h"
#include "app/ui_state.h"

void app_persist_all() {
  qls_save(settings);
  ui_save();
}
