// Paying for an order: the payment screen with its card link or Bitcoin/Lightning QR code, held
// until the store script reports the payment, the invoice expires or the user leaves.
#pragma once

#include <string_view>

// True when the payment was completed (whether or not the books could be downloaded).
bool store_pay_and_wait(std::string_view order_id, std::string_view view_key,
                        std::string_view pay_address, std::string_view total, bool bitcoin,
                        std::string_view invoice_id);
