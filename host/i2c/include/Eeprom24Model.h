// Stands in for a 24-series serial EEPROM chip on an I2C bus (24C256, 24C16), for the bus stand-in and in-process
// tests.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

// The chip as its bus master sees it: it acknowledges its slave address (or,
// for parts with a one-byte memory address, its block of addresses), keeps an
// address counter that sequential reads advance across the whole array, takes
// page writes that wrap within their page, and acknowledges nothing for the
// length of its internal write cycle after a write.
//
// The memory behind it is the caller's (a byte vector, an image file), owned
// by the caller and outliving the model. Not thread-safe: one bus drives it.
class Eeprom24Model
{
public:
    struct Geometry
    {
        std::uint32_t sizeBytes;
        std::uint32_t pageBytes;
        std::uint32_t addressBytes; // 2: high byte first; 1: block bits in the slave address
        std::uint16_t slaveAddress; // 7-bit; for one-byte parts the address of block 0
    };
    static Geometry Cat24c256(std::uint16_t slaveAddress = 0x56);
    static Geometry Cat24c16(std::uint16_t slaveAddress = 0x50);

    // Storage of the array. Load and Store move whole ranges inside the
    // array and return false when the storage failed.
    class Memory
    {
    public:
        virtual ~Memory() = default;
        virtual bool Load(std::uint32_t offset, std::uint8_t* buf, std::size_t len) = 0;
        virtual bool Store(std::uint32_t offset, const std::uint8_t* buf, std::size_t len) = 0;
    };

    // Memory held in a vector; bytes beyond its end read as erased (0xFF).
    class VectorMemory : public Memory
    {
    public:
        explicit VectorMemory(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
        bool Load(std::uint32_t offset, std::uint8_t* buf, std::size_t len) override;
        bool Store(std::uint32_t offset, const std::uint8_t* buf, std::size_t len) override;

    private:
        std::vector<std::uint8_t>& bytes_;
    };

    // 3.5 ms: a real part's typical cycle, inside the 5 ms its datasheet allows.
    static constexpr std::chrono::microseconds DefaultWriteCycle{3500};

    Eeprom24Model(Geometry geometry, Memory& memory, std::chrono::microseconds writeCycle = DefaultWriteCycle);

    // Each transfer returns false when the chip did not acknowledge (wrong
    // slave address, write cycle in progress) or its memory failed; nothing
    // changes then.
    //
    // A send with stop: the memory address, then any data. With data the
    // chip writes it (wrapping within the page) and starts its write cycle.
    bool Send(std::uint16_t slave, const std::uint8_t* data, std::size_t len);
    // A read from the address counter, which advances and rolls over at the end of the array.
    bool Receive(std::uint16_t slave, std::uint8_t* data, std::size_t len);
    // A send of the memory address, a repeated start and a read. Data bytes
    // in the send part are never written: a write only happens at a stop.
    bool SendReceive(std::uint16_t slave, const std::uint8_t* wdata, std::size_t wlen, std::uint8_t* rdata,
                     std::size_t rlen);

    bool Answers(std::uint16_t slave) const;
    bool IsBusy() const;
    const Geometry& GetGeometry() const { return geometry_; }
    std::uint32_t GetAddressCounter() const { return counter_; }

private:
    bool IsMine(std::uint16_t slave) const;
    std::uint32_t BlockBase(std::uint16_t slave) const;
    // Takes the memory address from the start of a send; false when it is incomplete.
    bool LatchAddress(std::uint16_t slave, const std::uint8_t* data, std::size_t len);

    Geometry geometry_;
    Memory& memory_;
    std::chrono::microseconds writeCycle_;
    std::chrono::steady_clock::time_point busyUntil_{};
    std::uint32_t counter_ = 0;
};
