// SPDX-License-Identifier: GPL-3.0-or-later
// Owners of libcurl handles and the options every transfer shares. Internal to the HTTP layer.
#pragma once

#include <curl/curl.h>

#include <memory>

namespace pictavo {

struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;

struct CurlListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

// A connect time-out and the stall abort, so that a dead connection cannot hang a run.
void set_deadline_options(CURL* handle);

} // namespace pictavo
