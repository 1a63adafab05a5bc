// SPDX-License-Identifier: GPL-3.0-or-later
// Owners of libcurl handles and the options every transfer shares. Internal to the HTTP layer.
#pragma once

#include "web/http.h"

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

// What every transfer sets: HTTP(S) only, no signals (several threads transfer at once), the
// connect time-out and the stall abort, so that a dead connection cannot hang a run, and the
// caller's time limit and announced-size limit.
void set_shared_options(CURL* handle, const TransferLimits& limits);

// The reason for a failed transfer; over_limit when the answer was cut at the caller's limit.
TransferError transfer_error_of(CURLcode result, bool over_limit);

} // namespace pictavo
