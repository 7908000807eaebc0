// USB drive mode: the program waits while the user storage is exported to a computer.
#pragma once

// Returns at once while /mnt/us/documents exists; recreates it when only it is missing; otherwise
// holds the program on the USB screen until the storage comes back. On the desktop there is no
// USB drive: a removed data folder is made again. The library is rescanned after either.
void usb_storage_wait();

// Draws and presents the "Connected" screen; the top of its "Keep reading while charging" button.
int usb_connected_screen();
// Touches from this far above the button's top to this far below it count as the button.
constexpr int kUsbButtonAbove = 20;
constexpr int kUsbButtonBelow = 170;
