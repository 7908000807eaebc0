// The "Payments & orders" list and the downloads of bought books.
#pragma once

// Returns when the user leaves it or after an order was downloaded.
void store_orders_screen();

// Set when a bought book was shown; the screen that opened the orders list clears it and returns
// at once, so the library or the opened book comes back.
extern bool store_purchase_shown;
