// Stands in for QNX's I2C resource manager: serves the I2C device commands on real i2c-dev buses and on board-image
// files.
#include "Eeprom24Model.h"

#include <devctl.h>
#include <hw/i2c.h>

#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// A descriptor of a Linux i2c-dev node drives that bus for real. A
// descriptor of a regular file is a simulated board: a 24C256 at slave
// address 0x56 whose memory is the file (bytes past the file's end read as
// erased; writes extend it). Any other descriptor is not ours.
//
// One simulated chip per image file (by device and inode), so its address
// counter and write cycle carry from one request to the next as on a bus.
// Processes do not share that state; they share the bus semaphore and start
// every operation by setting the address, as the real drivers do.
//
// HOST_I2C_WRITE_CYCLE_US sets the simulated write cycle in microseconds.

namespace {

constexpr std::uint16_t SimulatedSlave = 0x56;

class FileMemory : public Eeprom24Model::Memory
{
public:
    explicit FileMemory(int fd) : fd_(fd) {}
    void SetDescriptor(int fd) { fd_ = fd; }

    bool Load(std::uint32_t offset, std::uint8_t* buf, std::size_t len) override
    {
        std::size_t done = 0;
        while (done < len) {
            const ssize_t got = ::pread(fd_, buf + done, len - done, static_cast<off_t>(offset + done));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return false;
            }
            if (got == 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        std::memset(buf + done, 0xFF, len - done);
        return true;
    }

    bool Store(std::uint32_t offset, const std::uint8_t* buf, std::size_t len) override
    {
        std::size_t done = 0;
        while (done < len) {
            const ssize_t put = ::pwrite(fd_, buf + done, len - done, static_cast<off_t>(offset + done));
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                return false;
            }
            done += static_cast<std::size_t>(put);
        }
        return true;
    }

private:
    int fd_;
};

std::chrono::microseconds WriteCycleFromEnvironment()
{
    const char* text = std::getenv("HOST_I2C_WRITE_CYCLE_US");
    if (text == nullptr || *text == '\0') {
        return Eeprom24Model::DefaultWriteCycle;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value > 1000000ul) {
        return Eeprom24Model::DefaultWriteCycle;
    }
    return std::chrono::microseconds(value);
}

struct SimulatedChip
{
    explicit SimulatedChip(int fd)
        : memory(fd), model(Eeprom24Model::Cat24c256(SimulatedSlave), memory, WriteCycleFromEnvironment())
    {}
    FileMemory memory;
    Eeprom24Model model;
    // The image's modification time after this chip last touched it: any
    // other value means the file was replaced or changed behind the chip.
    struct timespec seen = {};
};

std::mutex chipsMutex;
std::map<std::pair<dev_t, ino_t>, std::unique_ptr<SimulatedChip>> chips;

enum class Kind
{
    NotMine,
    Bus,
    Image
};

Kind KindOf(int fd, struct stat& st)
{
    if (::fstat(fd, &st) != 0) {
        return Kind::NotMine;
    }
    if (S_ISREG(st.st_mode)) {
        return Kind::Image;
    }
    unsigned long funcs = 0;
    if (S_ISCHR(st.st_mode) && ::ioctl(fd, I2C_FUNCS, &funcs) == 0) {
        return Kind::Bus;
    }
    return Kind::NotMine;
}

bool SameTime(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The chip of an image, with its memory bound to this request's descriptor.
// A file that changed since the chip last saw it (a new image that reuses
// the inode, an image edited by hand) gets a fresh chip.
SimulatedChip& ChipFor(int fd, const struct stat& st)
{
    auto& slot = chips[{st.st_dev, st.st_ino}];
    if (!slot || !SameTime(slot->seen, st.st_mtim)) {
        slot = std::make_unique<SimulatedChip>(fd);
    }
    slot->memory.SetDescriptor(fd);
    return *slot;
}

std::vector<std::uint8_t> Gather(int parts, const iov_t* iov)
{
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < parts; ++i) {
        const auto* base = static_cast<const std::uint8_t*>(iov[i].iov_base);
        if (base != nullptr) {
            bytes.insert(bytes.end(), base, base + iov[i].iov_len);
        }
    }
    return bytes;
}

std::size_t Capacity(int parts, const iov_t* iov)
{
    std::size_t total = 0;
    for (int i = 0; i < parts; ++i) {
        total += iov[i].iov_len;
    }
    return total;
}

void Scatter(const std::vector<std::uint8_t>& bytes, int parts, const iov_t* iov)
{
    std::size_t at = 0;
    for (int i = 0; i < parts && at < bytes.size(); ++i) {
        const std::size_t n = std::min(iov[i].iov_len, bytes.size() - at);
        if (n > 0) {
            std::memcpy(iov[i].iov_base, bytes.data() + at, n);
        }
        at += n;
    }
}

// One bus transfer: send (with stop unless a receive follows) and/or receive.
struct Transfer
{
    std::uint32_t slave = 0;
    std::uint32_t fmt = 0;
    const std::uint8_t* wdata = nullptr;
    std::size_t wlen = 0;
    std::uint8_t* rdata = nullptr;
    std::size_t rlen = 0;
    bool send = false;
    bool receive = false;
};

int RunOnImage(SimulatedChip& chip, const Transfer& t)
{
    if (t.fmt != I2C_ADDRFMT_7BIT && t.fmt != I2C_ADDRFMT_10BIT) {
        return EINVAL;
    }
    // The simulated board has only a 7-bit slave; a 10-bit address finds nobody.
    if (t.fmt != I2C_ADDRFMT_7BIT || t.slave > 0x7F) {
        return EIO;
    }
    const auto slave = static_cast<std::uint16_t>(t.slave);
    bool acked = false;
    if (t.send && t.receive) {
        acked = chip.model.SendReceive(slave, t.wdata, t.wlen, t.rdata, t.rlen);
    } else if (t.send) {
        acked = chip.model.Send(slave, t.wdata, t.wlen);
    } else {
        acked = chip.model.Receive(slave, t.rdata, t.rlen);
    }
    return acked ? EOK : EIO;
}

int RunOnBus(int fd, const Transfer& t)
{
    if (t.fmt != I2C_ADDRFMT_7BIT && t.fmt != I2C_ADDRFMT_10BIT) {
        return EINVAL;
    }
    const auto flags = static_cast<std::uint16_t>(t.fmt == I2C_ADDRFMT_10BIT ? I2C_M_TEN : 0);
    i2c_msg msgs[2];
    unsigned int count = 0;
    if (t.send) {
        msgs[count++] =
            i2c_msg{static_cast<__u16>(t.slave), flags, static_cast<__u16>(t.wlen), const_cast<std::uint8_t*>(t.wdata)};
    }
    if (t.receive) {
        msgs[count++] = i2c_msg{static_cast<__u16>(t.slave), static_cast<__u16>(flags | I2C_M_RD),
                                static_cast<__u16>(t.rlen), t.rdata};
    }
    if (t.wlen > 0xFFFF || t.rlen > 0xFFFF) {
        return EINVAL;
    }
    i2c_rdwr_ioctl_data request{msgs, count};
    int rc = 0;
    do {
        rc = ::ioctl(fd, I2C_RDWR, &request);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0) {
        return errno == ENXIO || errno == EREMOTEIO ? EIO : errno;
    }
    return EOK;
}

int Run(int fd, Kind kind, const struct stat& st, const Transfer& t)
{
    if (kind == Kind::Bus) {
        return RunOnBus(fd, t);
    }
    const std::lock_guard<std::mutex> lock(chipsMutex);
    SimulatedChip& chip = ChipFor(fd, st);
    const int result = RunOnImage(chip, t);
    struct stat after = {};
    chip.seen = ::fstat(fd, &after) == 0 ? after.st_mtim : timespec{};
    return result;
}

// Whether `available` bytes hold a header and `len` bytes after it (without overflowing a 32-bit size_t).
bool Holds(std::size_t available, std::size_t header, std::uint32_t len)
{
    return available >= header && available - header >= len;
}

template <typename Header>
bool TakeHeader(const std::vector<std::uint8_t>& sent, Header& header)
{
    if (sent.size() < sizeof(Header)) {
        return false;
    }
    std::memcpy(&header, sent.data(), sizeof(Header));
    return true;
}

} // namespace

extern "C" int host_i2c_devctl(int filedes, int dcmd, void* data, size_t n_bytes, int* info)
{
    struct stat st = {};
    const Kind kind = KindOf(filedes, st);
    if (kind == Kind::NotMine) {
        return HOST_DEVCTL_NOT_MINE;
    }
    if (info != nullptr) {
        *info = 0;
    }
    if (static_cast<unsigned int>(dcmd) != DCMD_I2C_SET_BUS_SPEED) {
        return ENOTTY;
    }
    if (data == nullptr || n_bytes < sizeof(std::uint32_t)) {
        return EINVAL;
    }
    std::uint32_t speed = 0;
    std::memcpy(&speed, data, sizeof speed);
    if (speed == 0) {
        return EINVAL;
    }
    // Linux sets an adapter's clock in its device tree, not per descriptor.
    return kind == Kind::Image ? EOK : ENOTSUP;
}

extern "C" int host_i2c_devctlv(int filedes, int dcmd, int sparts, int rparts, const iov_t* sv, const iov_t* rv,
                                int* info)
{
    struct stat st = {};
    const Kind kind = KindOf(filedes, st);
    if (kind == Kind::NotMine) {
        return HOST_DEVCTL_NOT_MINE;
    }
    if (info != nullptr) {
        *info = 0;
    }
    if (sparts < 0 || rparts < 0 || (sparts > 0 && sv == nullptr) || (rparts > 0 && rv == nullptr)) {
        return EINVAL;
    }
    const std::vector<std::uint8_t> sent = Gather(sparts, sv);
    const auto command = static_cast<unsigned int>(dcmd);
    Transfer t;
    std::vector<std::uint8_t> reply;
    std::size_t headerSize = 0;

    if (command == DCMD_I2C_SEND) {
        i2c_send_t h{};
        if (!TakeHeader(sent, h) || !Holds(sent.size(), sizeof h, h.len)) {
            return EINVAL;
        }
        t = Transfer{h.slave.addr, h.slave.fmt, sent.data() + sizeof h, h.len, nullptr, 0, true, false};
        return Run(filedes, kind, st, t);
    }
    if (command == DCMD_I2C_RECV) {
        i2c_recv_t h{};
        if (!TakeHeader(sent, h) || !Holds(Capacity(rparts, rv), sizeof h, h.len)) {
            return EINVAL;
        }
        headerSize = sizeof h;
        reply.assign(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(sizeof h));
        reply.resize(sizeof h + h.len);
        t = Transfer{h.slave.addr, h.slave.fmt, nullptr, 0, reply.data() + headerSize, h.len, false, true};
    } else if (command == DCMD_I2C_SENDRECV) {
        i2c_sendrecv_t h{};
        if (!TakeHeader(sent, h) || !Holds(sent.size(), sizeof h, h.send_len) ||
            !Holds(Capacity(rparts, rv), sizeof h, h.recv_len)) {
            return EINVAL;
        }
        headerSize = sizeof h;
        reply.assign(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(sizeof h));
        reply.resize(sizeof h + h.recv_len);
        t = Transfer{
            h.slave.addr, h.slave.fmt, sent.data() + sizeof h, h.send_len, reply.data() + headerSize, h.recv_len,
            true,         true};
    } else {
        return ENOTTY;
    }
    const int result = Run(filedes, kind, st, t);
    if (result == EOK) {
        Scatter(reply, rparts, rv);
    }
    return result;
}
