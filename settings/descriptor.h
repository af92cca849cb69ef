#pragma once

#include <unistd.h>
#include <utility>

// An open file descriptor, closed when its owner lets go of it.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int descriptor)
        : descriptor(descriptor)
    {
    }
    Descriptor(Descriptor&& other) noexcept
        : descriptor(std::exchange(other.descriptor, -1))
    {
    }
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        reset(std::exchange(other.descriptor, -1));
        return *this;
    }
    ~Descriptor() { reset(); }

    int get() const { return descriptor; }
    explicit operator bool() const { return descriptor >= 0; }
    void reset(int other = -1)
    {
        if (descriptor >= 0)
            ::close(descriptor);
        descriptor = other;
    }

private:
    int descriptor = -1;
};
