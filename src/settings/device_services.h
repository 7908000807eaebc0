// The settings pages run over the device's scripts: Wi-Fi, Bluetooth headphones, backups and
// sending books over Wi-Fi. Each runs until back.
#pragma once

void wifi_page();
void bt_menu();
void backup_page();
void send_books_screen();
