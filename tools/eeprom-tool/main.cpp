// board-eeprom: the board EEPROM tool for bringing up boards and making test images.
#include "QnxEEPromHandler.h"
#include "QnxI2CBus.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using File = EEPromHandler::FilesInEEProm;

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
constexpr unsigned int ChipSize = 32768;

const char* const Usage =
    "Usage: board-eeprom [--vorlik] COMMAND [ARGUMENTS]\n"
    "\n"
    "Reads and writes the board EEPROM, a 24C256 at I2C address 0x56 on /dev/i2c0\n"
    "(0x52 with --vorlik). In the simulated printer /dev/i2c0 is a board image:\n"
    "  tools/sandbox --i2c board.img -- board-eeprom dump\n"
    "\n"
    "Images:\n"
    "  create-image IMAGE             write an erased image (32768 bytes of 0xFF); needs no chip\n"
    "Files (FILE is peripheral-config, build-record or third-file, or 0, 1, 2):\n"
    "  write-file FILE HOSTFILE       store HOSTFILE's bytes as FILE (later files move if it changes size)\n"
    "  read-file FILE HOSTFILE        copy FILE's bytes to HOSTFILE ('-': standard output)\n"
    "  verify-file FILE HOSTFILE      compare FILE with HOSTFILE\n"
    "  table                          show the file allocation table\n"
    "Whole chip:\n"
    "  write-chip HOSTFILE            write an image of at most 32768 bytes from address 0 (rest erased)\n"
    "  read-chip HOSTFILE             copy the whole chip to HOSTFILE\n"
    "  verify-chip HOSTFILE           compare the whole chip with a 32768-byte HOSTFILE\n"
    "  erase-chip                     set every byte to 0xFF\n"
    "Header (addresses 0-3; VALUE decimal, 0x-prefixed hex, or in BASE):\n"
    "  get-byte ADDRESS               print a header byte\n"
    "  set-byte ADDRESS VALUE [BASE]  store a header byte\n"
    "  get-word ADDRESS               print a little-endian word at ADDRESS and ADDRESS+1\n"
    "  set-word ADDRESS VALUE [BASE]  store such a word\n"
    "  developer [on|off]             show or set the developer-board flag (byte 3, 0xA5 = on)\n"
    "  board-id [ID]                  show or set the board id (decimal word at bytes 1-2)\n"
    "  dump [HOSTFILE]                hex dump of the first 64 bytes ('-' or none: standard output)\n"
    "\n"
    "Exit status: 0 done, 1 the operation failed, 2 bad command line.\n";

int Fail(const std::string& message)
{
    std::cerr << "board-eeprom: " << message << "\n";
    return ExitFailed;
}

int BadUsage(const std::string& message)
{
    std::cerr << "board-eeprom: " << message << "\n(board-eeprom --help shows the commands)\n";
    return ExitUsage;
}

std::optional<File> ParseFile(const std::string& name)
{
    if (name == "peripheral-config" || name == "0")
        return File::PeripheralConfig;
    if (name == "build-record" || name == "1")
        return File::BuildRecord;
    if (name == "third-file" || name == "2")
        return File::ThirdFile;
    return std::nullopt;
}

const char* FileName(unsigned int file)
{
    static const char* const names[] = {"peripheral-config", "build-record", "third-file"};
    return file < 3 ? names[file] : "?";
}

std::optional<unsigned short> ParseAddress(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || value > 0xFFFFul || text[0] == '-')
        return std::nullopt;
    return static_cast<unsigned short>(value);
}

unsigned char BaseFor(const std::string& value, const char* base)
{
    if (base != nullptr)
        return static_cast<unsigned char>(std::strtoul(base, nullptr, 10));
    return value.rfind("0x", 0) == 0 || value.rfind("0X", 0) == 0 ? 16 : 10;
}

bool CanRead(const std::string& path)
{
    return std::ifstream(path, std::ios::binary).good();
}

// Runs `produce` into a scratch file and copies it to standard output.
template <typename Produce>
bool ToStandardOutput(Produce produce)
{
    char name[] = "/tmp/board-eeprom-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0)
        return false;
    ::close(fd);
    bool ok = produce(std::string(name));
    if (ok) {
        std::ifstream in(name, std::ios::binary);
        std::cout << in.rdbuf();
        std::cout.flush();
        ok = static_cast<bool>(std::cout);
    }
    std::remove(name);
    return ok;
}

int CreateImage(const std::string& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return Fail("cannot create " + path + ": " + std::strerror(errno));
    const std::vector<char> erased(ChipSize, '\xFF');
    out.write(erased.data(), static_cast<std::streamsize>(erased.size()));
    out.flush();
    if (!out)
        return Fail("cannot write " + path);
    return 0;
}

int RunOnChip(QnxEEPromHandler& handler, const std::vector<std::string>& args)
{
    const std::string& command = args[0];
    const std::size_t count = args.size() - 1;
    auto need = [&](std::size_t min, std::size_t max) { return count >= min && count <= max; };

    if (command == "write-file" || command == "read-file" || command == "verify-file") {
        if (!need(2, 2))
            return BadUsage(command + " needs FILE and HOSTFILE");
        const auto file = ParseFile(args[1]);
        if (!file)
            return BadUsage("unknown file '" + args[1] + "' (peripheral-config, build-record or third-file)");
        const std::string& path = args[2];
        const std::string name = FileName(*file);
        if (command == "write-file") {
            if (!CanRead(path))
                return Fail("cannot read " + path);
            if (!handler.Write(*file, path))
                return Fail("writing " + name + " failed (no room on the chip, a bus failure, or a table that leaves no safe place)");
            return 0;
        }
        if (command == "read-file") {
            const bool ok = path == "-" ? ToStandardOutput([&](const std::string& p) { return handler.Read(*file, p); })
                                        : handler.Read(*file, path);
            if (ok)
                return 0;
            if (handler.ReadCurrentFile(*file).empty())
                return Fail(name + " is missing, unreadable or fails its check word");
            return Fail("cannot write " + path);
        }
        if (!CanRead(path))
            return Fail("cannot read " + path);
        if (!handler.Verify(*file, path)) {
            if (handler.ReadCurrentFile(*file).empty())
                return Fail(name + " is missing, unreadable or fails its check word");
            return Fail(name + " differs from " + path);
        }
        std::cout << name << " matches " << path << "\n";
        return 0;
    }
    if (command == "write-chip" || command == "read-chip" || command == "verify-chip") {
        if (!need(1, 1))
            return BadUsage(command + " needs HOSTFILE");
        const std::string& path = args[1];
        if (command == "write-chip") {
            std::ifstream in(path, std::ios::binary | std::ios::ate);
            if (!in)
                return Fail("cannot read " + path);
            if (static_cast<long long>(in.tellg()) > ChipSize)
                return Fail(path + " is larger than the chip (32768 bytes)");
            return handler.WriteAll(path) ? 0 : Fail("writing the chip failed");
        }
        if (command == "read-chip")
            return handler.ReadAll(path) ? 0 : Fail("reading the chip into " + path + " failed");
        if (!CanRead(path))
            return Fail("cannot read " + path);
        if (!handler.VerifyAll(path))
            return Fail("the chip differs from " + path + " (or it is not 32768 bytes, or the chip could not be read)");
        std::cout << "chip matches " << path << "\n";
        return 0;
    }
    if (command == "erase-chip") {
        if (!need(0, 0))
            return BadUsage("erase-chip takes no arguments");
        return handler.Erase() ? 0 : Fail("erasing the chip failed");
    }
    if (command == "table") {
        if (!need(0, 0))
            return BadUsage("table takes no arguments");
        handler.ReadFileAllocationTable();
        for (unsigned int i = 0; i < 3; ++i) {
            const auto& entry = handler.GetFileTable()[i];
            const bool valid = EEPromHelper::IsAddressValid(entry.start) && EEPromHelper::IsSizeValid(entry.size);
            std::cout << i << " " << FileName(i) << ": ";
            if (!valid) {
                std::cout << "none\n";
                continue;
            }
            const bool intact = !handler.ReadCurrentFile(static_cast<File>(i)).empty();
            std::cout << "start " << entry.start << " size " << entry.size << (intact ? " intact" : " damaged or empty")
                      << "\n";
        }
        return 0;
    }
    if (command == "get-byte" || command == "get-word") {
        if (!need(1, 1))
            return BadUsage(command + " needs ADDRESS");
        const auto address = ParseAddress(args[1]);
        const bool word = command == "get-word";
        if (!address || !EEPromHelper::ValidByteSetAddress(*address) ||
            (word && !EEPromHelper::ValidByteSetAddress(*address + 1u)))
            return BadUsage("'" + args[1] + "' is not a header address for " + command);
        char text[16];
        if (word)
            std::snprintf(text, sizeof text, "0x%04x", static_cast<unsigned int>(handler.WordGet(*address)));
        else
            std::snprintf(text, sizeof text, "0x%02x", static_cast<unsigned int>(handler.ByteGet(*address)));
        std::cout << text << "\n";
        return 0;
    }
    if (command == "set-byte" || command == "set-word") {
        if (!need(2, 3))
            return BadUsage(command + " needs ADDRESS and VALUE");
        const auto address = ParseAddress(args[1]);
        const bool word = command == "set-word";
        if (!address || !EEPromHelper::ValidByteSetAddress(*address) ||
            (word && !EEPromHelper::ValidByteSetAddress(*address + 1u)))
            return BadUsage("'" + args[1] + "' is not a header address for " + command);
        const unsigned char base = BaseFor(args[2], count == 3 ? args[3].c_str() : nullptr);
        const bool ok = word ? handler.WordSet(*address, args[2], base) : handler.ByteSet(*address, args[2], base);
        return ok ? 0 : Fail("cannot store '" + args[2] + "' (not a number in base " + std::to_string(base) +
                             ", or the chip did not take it)");
    }
    if (command == "developer") {
        if (!need(0, 1))
            return BadUsage("developer takes on, off or nothing");
        const unsigned short at = EEPromHelper::DeveloperByteSetAddress;
        if (count == 0) {
            std::cout << (handler.IsDeveloperBoardSet(at) ? "on" : "off") << "\n";
            return 0;
        }
        if (args[1] != "on" && args[1] != "off")
            return BadUsage("developer takes on or off");
        const std::string value = args[1] == "on" ? EEPromHelper::ApiCommandEnableDeveloperBit : "0";
        return handler.DeveloperBoardSet(at, value) ? 0 : Fail("setting the developer flag failed");
    }
    if (command == "board-id") {
        if (!need(0, 1))
            return BadUsage("board-id takes ID or nothing");
        const unsigned short at = EEPromHelper::BoardTypeSetAddress;
        if (count == 0) {
            std::cout << handler.BaseboardIdGet(at) << "\n";
            return 0;
        }
        const auto id = ParseAddress(args[1]);
        if (!id || args[1].find_first_not_of("0123456789") != std::string::npos)
            return BadUsage("board id must be a decimal number from 0 to 65535");
        return handler.BaseboardIdSet(at, args[1]) ? 0 : Fail("setting the board id failed");
    }
    if (command == "dump") {
        if (!need(0, 1))
            return BadUsage("dump takes HOSTFILE or nothing");
        const bool ok = (count == 0 || args[1] == "-")
                            ? ToStandardOutput([&](const std::string& p) { return handler.ReadBoardInformation(p); })
                            : handler.ReadBoardInformation(args[1]);
        return ok ? 0 : Fail("cannot write the dump");
    }
    return BadUsage("unknown command '" + command + "'");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return BadUsage("no command given");
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << Usage;
        return 0;
    }
    auto location = QnxEEPromHandler::EEPromLocation::StandardBoard;
    if (args[0] == "--vorlik") {
        location = QnxEEPromHandler::EEPromLocation::VorlikBoard;
        args.erase(args.begin());
        if (args.empty())
            return BadUsage("no command given");
    }
    if (args[0] == "create-image") {
        if (args.size() != 2)
            return BadUsage("create-image needs IMAGE");
        return CreateImage(args[1]);
    }
    static const char* const commands[] = {"write-file", "read-file",  "verify-file", "table",    "write-chip",
                                           "read-chip",  "verify-chip", "erase-chip", "get-byte", "get-word",
                                           "set-byte",   "set-word",   "developer",   "board-id", "dump"};
    bool known = false;
    for (const char* c : commands)
        known = known || args[0] == c;
    if (!known)
        return BadUsage("unknown command '" + args[0] + "'");

    QnxEEPromHandler handler(location);
    if (!handler.IsEEPromAccessible()) {
        const char* at = location == QnxEEPromHandler::EEPromLocation::VorlikBoard ? "0x52" : "0x56";
        return Fail(std::string("no EEPROM answers at ") + at + " on " + I2C0ResourceManagerPath.string() +
                    (::access(I2C0ResourceManagerPath.c_str(), F_OK) != 0 ? " (the device does not exist)" : ""));
    }
    return RunOnChip(handler, args);
}
