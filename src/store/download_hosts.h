// The hosts downloads may come from: the maker's site (the free-title list), its store, and the
// outside publisher whose free titles the lists carry (its web host and its download network).
#pragma once
#include <array>
#include <string_view>

constexpr std::string_view kMakerSiteHost = "corvellnalo.com";
constexpr std::string_view kStoreHost = "corvellbooks.com";
constexpr std::string_view kStoreWwwHost = "www.corvellbooks.com";
constexpr std::string_view kPublisherHost = "orvane-institute.org";
constexpr std::string_view kPublisherDownloadHost = "dl.orvane-institute.org";

constexpr std::array<std::string_view, 5> kDownloadHosts = {
    kMakerSiteHost, kStoreHost, kStoreWwwHost, kPublisherHost, kPublisherDownloadHost};
