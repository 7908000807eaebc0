// Stand-in until the USB screen exists: a documents folder that vanished on its own is recreated;
// an exported storage is not waited for.
#include "settings/usb_drive.h"

#include <unistd.h>

#include "base/paths.h"

void usb_storage_wait() {
  if (qlp_access("/mnt/us/documents", F_OK) == 0) return;
  if (qlp_access("/mnt/us/ql", F_OK) == 0) qlp_mkdir("/mnt/us/documents", 0755);
}
