// SPDX-License-Identifier: GPL-3.0-or-later
// Who may start an exchange with the compression service during a run.
//
// A fixed number of exchanges may run at once. Once one has failed, no new one starts for the
// rest of the run; those already running finish. Shared by the run's workers.
#pragma once

#include <condition_variable>
#include <mutex>

namespace pictavo {

// The most exchanges a run has going at once, however many workers it has: enough to keep
// the uploads of a fast machine flowing without flooding the service with connections.
constexpr int UPLOAD_SLOTS_MAXIMUM = 4;

class UploadGate {
public:
    explicit UploadGate(int slots) : free_(slots > 0 ? slots : 1) {}

    // Waits for a free slot and takes it: true. False, without a slot, once an exchange of the
    // run has failed (also when the failure comes while waiting).
    bool enter();
    // Gives the slot back, recording whether the exchange failed.
    void leave(bool exchange_failed);

    bool failed() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable slot_freed_;
    int free_;
    bool failed_ = false;
};

} // namespace pictavo
