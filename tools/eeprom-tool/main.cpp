// board-eeprom: the board EEPROM tool for bringing up boards and making test images.
#include "Cat24c256Eeprom.h"
#include "QnxEEPromHandler.h"
#include "QnxI2CBus.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <variant>
#include <vector>

namespace {

using File = EEPromHandler::FilesInEEProm;

constexpr int ExitFailed = 1;
constexpr int ExitUsage = 2;
// The handler looks for a 24C256; images are made for the same part.
constexpr unsigned int ChipSize = Cat24c256Eeprom::SizeInBytes;
const std::string ChipSizeText = std::to_string(ChipSize);

const char* const FileNames[EEPromHelper::FilesInAllocationTable] = {"peripheral-config", "build-record", "third-file"};

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

// FILE on the command line: a file's name or its index.
std::optional<File> ParseFile(const std::string& text)
{
    for (unsigned int i = 0; i < EEPromHelper::FilesInAllocationTable; ++i) {
        if (text == FileNames[i] || text == std::to_string(i)) {
            return static_cast<File>(i);
        }
    }
    return std::nullopt;
}

int UnknownFile(const std::string& text)
{
    return BadUsage("unknown file '" + text + "' (peripheral-config, build-record or third-file)");
}

std::optional<unsigned short> ParseAddress(const std::string& text)
{
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text.c_str(), &end, 0);
    if (*end != '\0' || errno != 0 || value > 0xFFFFul || text[0] == '-') {
        return std::nullopt;
    }
    return static_cast<unsigned short>(value);
}

unsigned char BaseFor(const std::string& value, const char* base)
{
    if (base != nullptr) {
        return static_cast<unsigned char>(std::strtoul(base, nullptr, 10));
    }
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
    if (fd < 0) {
        return false;
    }
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

// One command as typed: its name and the arguments after it.
struct Call
{
    const std::string& command;
    const std::vector<std::string>& args;
};

// --- commands without a chip

int CreateImage(const Call& call)
{
    const std::string& path = call.args[0];
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return Fail("cannot create " + path + ": " + std::strerror(errno));
    }
    const std::vector<char> erased(ChipSize, '\xFF');
    out.write(erased.data(), static_cast<std::streamsize>(erased.size()));
    out.flush();
    if (!out) {
        return Fail("cannot write " + path);
    }
    return 0;
}

// --- files

int MissingOrDamaged(File file)
{
    return Fail(std::string(FileNames[static_cast<unsigned int>(file)]) +
                " is missing, unreadable or fails its check word");
}

int WriteFile(QnxEEPromHandler& chip, const Call& call)
{
    const auto file = ParseFile(call.args[0]);
    if (!file) {
        return UnknownFile(call.args[0]);
    }
    const std::string& path = call.args[1];
    if (!CanRead(path)) {
        return Fail("cannot read " + path);
    }
    if (!chip.Write(*file, path)) {
        return Fail(std::string("writing ") + FileNames[static_cast<unsigned int>(*file)] +
                    " failed (no room on the chip, a bus failure, or a table that leaves no safe place)");
    }
    return 0;
}

int ReadFile(QnxEEPromHandler& chip, const Call& call)
{
    const auto file = ParseFile(call.args[0]);
    if (!file) {
        return UnknownFile(call.args[0]);
    }
    const std::string& path = call.args[1];
    const bool ok = path == "-" ? ToStandardOutput([&](const std::string& p) { return chip.Read(*file, p); })
                                : chip.Read(*file, path);
    if (ok) {
        return 0;
    }
    if (chip.ReadCurrentFile(*file).empty()) {
        return MissingOrDamaged(*file);
    }
    return Fail("cannot write " + path);
}

int VerifyFile(QnxEEPromHandler& chip, const Call& call)
{
    const auto file = ParseFile(call.args[0]);
    if (!file) {
        return UnknownFile(call.args[0]);
    }
    const std::string& path = call.args[1];
    const std::string name = FileNames[static_cast<unsigned int>(*file)];
    if (!CanRead(path)) {
        return Fail("cannot read " + path);
    }
    if (!chip.Verify(*file, path)) {
        if (chip.ReadCurrentFile(*file).empty()) {
            return MissingOrDamaged(*file);
        }
        return Fail(name + " differs from " + path);
    }
    std::cout << name << " matches " << path << "\n";
    return 0;
}

int ShowTable(QnxEEPromHandler& chip, const Call&)
{
    chip.ReadFileAllocationTable();
    for (unsigned int i = 0; i < EEPromHelper::FilesInAllocationTable; ++i) {
        const auto& entry = chip.GetFileTable()[i];
        std::cout << i << " " << FileNames[i] << ": ";
        if (!EEPromHelper::IsAddressValid(entry.start) || !EEPromHelper::IsSizeValid(entry.size)) {
            std::cout << "none\n";
            continue;
        }
        const bool intact = !chip.ReadCurrentFile(static_cast<File>(i)).empty();
        std::cout << "start " << entry.start << " size " << entry.size << (intact ? " intact" : " damaged or empty")
                  << "\n";
    }
    return 0;
}

// --- whole chip

int WriteChip(QnxEEPromHandler& chip, const Call& call)
{
    const std::string& path = call.args[0];
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        return Fail("cannot read " + path);
    }
    if (static_cast<long long>(in.tellg()) > ChipSize) {
        return Fail(path + " is larger than the chip (" + ChipSizeText + " bytes)");
    }
    return chip.WriteAll(path) ? 0 : Fail("writing the chip failed");
}

int ReadChip(QnxEEPromHandler& chip, const Call& call)
{
    const std::string& path = call.args[0];
    return chip.ReadAll(path) ? 0 : Fail("reading the chip into " + path + " failed");
}

int VerifyChip(QnxEEPromHandler& chip, const Call& call)
{
    const std::string& path = call.args[0];
    if (!CanRead(path)) {
        return Fail("cannot read " + path);
    }
    if (!chip.VerifyAll(path)) {
        return Fail("the chip differs from " + path + " (or it is not " + ChipSizeText +
                    " bytes, or the chip could not be read)");
    }
    std::cout << "chip matches " << path << "\n";
    return 0;
}

int EraseChip(QnxEEPromHandler& chip, const Call&)
{
    return chip.Erase() ? 0 : Fail("erasing the chip failed");
}

// --- header

// ADDRESS of a header byte, or of the first of a word's two bytes.
std::optional<unsigned short> HeaderAddress(const Call& call, bool word)
{
    const auto address = ParseAddress(call.args[0]);
    if (!address || !EEPromHelper::ValidByteSetAddress(*address) ||
        (word && !EEPromHelper::ValidByteSetAddress(*address + 1u))) {
        return std::nullopt;
    }
    return address;
}

int NotAHeaderAddress(const Call& call)
{
    return BadUsage("'" + call.args[0] + "' is not a header address for " + call.command);
}

int PrintHex(unsigned int value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*x", digits, value);
    std::cout << text << "\n";
    return 0;
}

int GetByte(QnxEEPromHandler& chip, const Call& call)
{
    const auto address = HeaderAddress(call, false);
    return address ? PrintHex(chip.ByteGet(*address), 2) : NotAHeaderAddress(call);
}

int GetWord(QnxEEPromHandler& chip, const Call& call)
{
    const auto address = HeaderAddress(call, true);
    return address ? PrintHex(chip.WordGet(*address), 4) : NotAHeaderAddress(call);
}

// What a set-byte or set-word of VALUE in base tells.
int StoreResult(const Call& call, bool stored, unsigned char base)
{
    return stored ? 0
                  : Fail("cannot store '" + call.args[1] + "' (not a number in base " + std::to_string(base) +
                         ", or the chip did not take it)");
}

// VALUE's base: BASE when given, else hexadecimal after 0x and decimal otherwise.
unsigned char ValueBase(const Call& call)
{
    return BaseFor(call.args[1], call.args.size() == 3 ? call.args[2].c_str() : nullptr);
}

int SetByte(QnxEEPromHandler& chip, const Call& call)
{
    const auto address = HeaderAddress(call, false);
    if (!address) {
        return NotAHeaderAddress(call);
    }
    const unsigned char base = ValueBase(call);
    return StoreResult(call, chip.ByteSet(*address, call.args[1], base), base);
}

int SetWord(QnxEEPromHandler& chip, const Call& call)
{
    const auto address = HeaderAddress(call, true);
    if (!address) {
        return NotAHeaderAddress(call);
    }
    const unsigned char base = ValueBase(call);
    return StoreResult(call, chip.WordSet(*address, call.args[1], base), base);
}

int Developer(QnxEEPromHandler& chip, const Call& call)
{
    const unsigned short at = EEPromHelper::DeveloperByteSetAddress;
    if (call.args.empty()) {
        std::cout << (chip.IsDeveloperBoardSet(at) ? "on" : "off") << "\n";
        return 0;
    }
    const std::string& setting = call.args[0];
    if (setting != "on" && setting != "off") {
        return BadUsage("developer takes on or off");
    }
    const std::string value = setting == "on" ? EEPromHelper::ApiCommandEnableDeveloperBit : "0";
    return chip.DeveloperBoardSet(at, value) ? 0 : Fail("setting the developer flag failed");
}

int BoardId(QnxEEPromHandler& chip, const Call& call)
{
    const unsigned short at = EEPromHelper::BoardTypeSetAddress;
    if (call.args.empty()) {
        std::cout << chip.BaseboardIdGet(at) << "\n";
        return 0;
    }
    const std::string& id = call.args[0];
    if (!ParseAddress(id) || id.find_first_not_of("0123456789") != std::string::npos) {
        return BadUsage("board id must be a decimal number from 0 to 65535");
    }
    return chip.BaseboardIdSet(at, id) ? 0 : Fail("setting the board id failed");
}

int Dump(QnxEEPromHandler& chip, const Call& call)
{
    const bool ok = (call.args.empty() || call.args[0] == "-")
                        ? ToStandardOutput([&](const std::string& p) { return chip.ReadBoardInformation(p); })
                        : chip.ReadBoardInformation(call.args[0]);
    return ok ? 0 : Fail("cannot write the dump");
}

// --- the command table

using WithoutChip = int (*)(const Call&);
using OnChip = int (*)(QnxEEPromHandler&, const Call&);

struct Command
{
    // The help section this command opens, or null when it continues one.
    const char* section;
    const char* name;
    // The arguments as the help shows them.
    const char* arguments;
    std::string help;
    std::size_t minArguments;
    std::size_t maxArguments;
    // What a wrong number of arguments is told, after the command's name.
    const char* argumentsWanted;
    std::variant<WithoutChip, OnChip> run;
};

const std::vector<Command>& Commands()
{
    static const std::vector<Command> commands = {
        {"Images:", "create-image", "IMAGE",
         "write an erased image (" + ChipSizeText + " bytes of 0xFF); needs no chip", 1, 1, "needs IMAGE", CreateImage},
        {"Files (FILE is peripheral-config, build-record or third-file, or 0, 1, 2):", "write-file", "FILE HOSTFILE",
         "store HOSTFILE's bytes as FILE (later files move if it changes size)", 2, 2, "needs FILE and HOSTFILE",
         WriteFile},
        {nullptr, "read-file", "FILE HOSTFILE", "copy FILE's bytes to HOSTFILE ('-': standard output)", 2, 2,
         "needs FILE and HOSTFILE", ReadFile},
        {nullptr, "verify-file", "FILE HOSTFILE", "compare FILE with HOSTFILE", 2, 2, "needs FILE and HOSTFILE",
         VerifyFile},
        {nullptr, "table", "", "show the file allocation table", 0, 0, "takes no arguments", ShowTable},
        {"Whole chip:", "write-chip", "HOSTFILE",
         "write an image of at most " + ChipSizeText + " bytes from address 0 (rest erased)", 1, 1, "needs HOSTFILE",
         WriteChip},
        {nullptr, "read-chip", "HOSTFILE", "copy the whole chip to HOSTFILE", 1, 1, "needs HOSTFILE", ReadChip},
        {nullptr, "verify-chip", "HOSTFILE", "compare the whole chip with a " + ChipSizeText + "-byte HOSTFILE", 1, 1,
         "needs HOSTFILE", VerifyChip},
        {nullptr, "erase-chip", "", "set every byte to 0xFF", 0, 0, "takes no arguments", EraseChip},
        {"Header (addresses 0-3; VALUE decimal, 0x-prefixed hex, or in BASE):", "get-byte", "ADDRESS",
         "print a header byte", 1, 1, "needs ADDRESS", GetByte},
        {nullptr, "set-byte", "ADDRESS VALUE [BASE]", "store a header byte", 2, 3, "needs ADDRESS and VALUE", SetByte},
        {nullptr, "get-word", "ADDRESS", "print a little-endian word at ADDRESS and ADDRESS+1", 1, 1, "needs ADDRESS",
         GetWord},
        {nullptr, "set-word", "ADDRESS VALUE [BASE]", "store such a word", 2, 3, "needs ADDRESS and VALUE", SetWord},
        {nullptr, "developer", "[on|off]", "show or set the developer-board flag (byte 3, 0xA5 = on)", 0, 1,
         "takes on, off or nothing", Developer},
        {nullptr, "board-id", "[ID]", "show or set the board id (decimal word at bytes 1-2)", 0, 1,
         "takes ID or nothing", BoardId},
        {nullptr, "dump", "[HOSTFILE]", "hex dump of the first 64 bytes ('-' or none: standard output)", 0, 1,
         "takes HOSTFILE or nothing", Dump},
    };
    return commands;
}

std::string Usage()
{
    std::string text = "Usage: board-eeprom [--vorlik] COMMAND [ARGUMENTS]\n"
                       "\n"
                       "Reads and writes the board EEPROM, a 24C256 at I2C address 0x56 on /dev/i2c0\n"
                       "(0x52 with --vorlik). In the simulated printer /dev/i2c0 is a board image:\n"
                       "  tools/sandbox --i2c board.img -- board-eeprom dump\n"
                       "\n";
    constexpr std::size_t SynopsisWidth = 31;
    for (const Command& command : Commands()) {
        if (command.section != nullptr) {
            text += std::string(command.section) + "\n";
        }
        std::string synopsis = command.name;
        if (*command.arguments != '\0') {
            synopsis += std::string(" ") + command.arguments;
        }
        synopsis.resize(std::max(synopsis.size() + 1, SynopsisWidth), ' ');
        text += "  " + synopsis + command.help + "\n";
    }
    text += "\nExit status: 0 done, 1 the operation failed, 2 bad command line.\n";
    return text;
}

const Command* FindCommand(const std::string& name)
{
    const auto& commands = Commands();
    const auto found =
        std::find_if(commands.begin(), commands.end(), [&](const Command& command) { return name == command.name; });
    return found == commands.end() ? nullptr : &*found;
}

int WrongArguments(const Command& command)
{
    return BadUsage(std::string(command.name) + " " + command.argumentsWanted);
}

bool ArgumentCountFits(const Command& command, const Call& call)
{
    return call.args.size() >= command.minArguments && call.args.size() <= command.maxArguments;
}

// Commands on the chip find it first: without one no argument is looked at.
int Run(const Command& command, const Call& call, QnxEEPromHandler::EEPromLocation location)
{
    if (const auto* plain = std::get_if<WithoutChip>(&command.run)) {
        return ArgumentCountFits(command, call) ? (*plain)(call) : WrongArguments(command);
    }

    QnxEEPromHandler chip(location);
    if (!chip.IsEEPromAccessible()) {
        const char* at = location == QnxEEPromHandler::EEPromLocation::VorlikBoard ? "0x52" : "0x56";
        return Fail(std::string("no EEPROM answers at ") + at + " on " + I2C0ResourceManagerPath.string() +
                    (::access(I2C0ResourceManagerPath.c_str(), F_OK) != 0 ? " (the device does not exist)" : ""));
    }
    if (!ArgumentCountFits(command, call)) {
        return WrongArguments(command);
    }
    return std::get<OnChip>(command.run)(chip, call);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return BadUsage("no command given");
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::cout << Usage();
        return 0;
    }
    auto location = QnxEEPromHandler::EEPromLocation::StandardBoard;
    if (args[0] == "--vorlik") {
        location = QnxEEPromHandler::EEPromLocation::VorlikBoard;
        args.erase(args.begin());
        if (args.empty()) {
            return BadUsage("no command given");
        }
    }
    const Command* command = FindCommand(args[0]);
    if (command == nullptr) {
        return BadUsage("unknown command '" + args[0] + "'");
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    return Run(*command, Call{args[0], rest}, location);
}
