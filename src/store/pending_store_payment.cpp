// Stand-in until the payment screen exists: no payment is ever completed.
#include "store/store_payment.h"

bool store_pay_and_wait(std::string_view, std::string_view, std::string_view, std::string_view,
                        bool, std::string_view) {
  return false;
}
