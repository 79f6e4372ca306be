#pragma once

#include "I2CDevice.h"

// Holds a device's bus against other processes for one scope: takes it on
// construction, gives it back on destruction (only when it was taken). A
// transfer sequence goes on when the bus could not be taken, as the chips
// tolerate it; Held tells whether it was.
class I2CDeviceLock
{
public:
    explicit I2CDeviceLock(I2CDevice& device) : device_(device), held_(device.Lock()) {}
    ~I2CDeviceLock()
    {
        if (held_) {
            device_.Unlock();
        }
    }
    I2CDeviceLock(const I2CDeviceLock&) = delete;
    I2CDeviceLock& operator=(const I2CDeviceLock&) = delete;

    bool Held() const { return held_; }

private:
    I2CDevice& device_;
    bool held_;
};
