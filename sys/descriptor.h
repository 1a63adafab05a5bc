// SPDX-License-Identifier: GPL-3.0-or-later
// An open file descriptor that is closed when its owner goes out of scope.
#pragma once

#include <unistd.h>
#include <utility>

namespace pictavo {

class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : descriptor_(descriptor) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            reset();
            descriptor_ = std::exchange(other.descriptor_, -1);
        }
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return descriptor_; }
    bool valid() const { return descriptor_ >= 0; }
    void reset()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        descriptor_ = -1;
    }

private:
    int descriptor_;
};

} // namespace pictavo
