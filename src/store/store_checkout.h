// The checkout: the payment method, the consent page, the request for the store script and its
// answer, the order record and the hand-over to the payment wait. A basket id kept in
// store-basket lets the shop recognise a repeated checkout of the same basket.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

constexpr const char* kStoreBasketPath = "/mnt/us/ql/state/store-basket";
constexpr const char* kStoreCountryPath = "/mnt/us/ql/state/store-country";
constexpr const char* kStoreRequestPath = "/mnt/us/ql/state/store-req.json";
constexpr const char* kStoreResponsePath = "/mnt/us/ql/state/store-resp.json";
constexpr size_t kStoreRequestMax = 4000;
constexpr size_t kStoreResponseMax = 65536;

// True when a payment was completed. `items` are indices into the table: the basket, or one item.
bool store_checkout(std::span<const uint16_t> items);

// "Checkout failed: " and the error, at most 119 bytes.
std::string store_format_checkout_error(std::string_view error);

// The request from its start to the end of the items array; the basket id is a hash of it. Every
// text is written as a JSON string. None when it would pass kStoreRequestMax.
std::optional<std::string> store_req_json_head(std::string_view method,
                                               std::span<const uint16_t> items);
// The basket hash of a request head: the streaming Wyhash, seed 0, of the head up to the last
// item's closing brace.
uint64_t store_basket_hash(std::string_view head);
// The rest of the request after the head.
std::string store_req_json_tail(std::string_view basket_id, std::string_view country,
                                int64_t total_cents, std::string_view currency);
// The line of store-basket: the hash in decimal, a space, the id.
std::string store_format_basket_line(uint64_t hash, std::string_view id);
// The basket id for the request head's hash: the one kept when the hash is the same, else a new
// random one (kept and written to store-basket). Empty when no random bytes could be read.
std::string store_basket_id_current(uint64_t hash);
// 16 bytes as 32 lower-case hexadecimal digits, high nibble first.
std::string hex16_lower(const uint8_t (&bytes)[16]);
// The buyer's two-letter country from store-country, "PT" when it holds no two-byte code.
std::string store_country();
