// Stand-in until the script-driven settings pages exist: each closes at once.
#include "settings/device_services.h"

void wifi_page() {}
void bt_menu() {}
void backup_page() {}
void send_books_screen() {}
