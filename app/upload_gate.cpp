// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/upload_gate.h"

namespace pictavo {

bool UploadGate::enter()
{
    std::unique_lock lock(mutex_);
    slot_freed_.wait(lock, [this] { return failed_ || free_ > 0; });
    if (failed_)
        return false;
    --free_;
    return true;
}

void UploadGate::leave(bool exchange_failed)
{
    {
        const std::lock_guard lock(mutex_);
        ++free_;
        failed_ = failed_ || exchange_failed;
    }
    slot_freed_.notify_all();
}

bool UploadGate::failed() const
{
    const std::lock_guard lock(mutex_);
    return failed_;
}

} // namespace pictavo
