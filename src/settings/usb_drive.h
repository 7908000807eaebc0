// USB drive mode: the program waits while the user storage is exported to a computer.
#pragma once

// Returns at once while /mnt/us/documents exists; recreates it when only it is missing; otherwise
// holds the program on the USB screen until the storage comes back.
void usb_storage_wait();
