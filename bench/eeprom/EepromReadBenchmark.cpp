// Reading the board EEPROM: how many bus transfers the build record costs
// against the fewest its size allows, and how long a whole-chip read of the
// simulated chip takes against one transfer of the same bytes.
//
// The "standin" cases drive bus 0 through the resource-manager stand-in and
// need a board image at /dev/i2c0 (run in tools/sandbox --i2c IMAGE).
#include "Cat24c256Eeprom.h"
#include "EEPromHelper.h"
#include "ModelI2CBus.h"
#include "QnxEEPromHandler.h"
#include "QnxI2CBus.h"

#include <benchmark/benchmark.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

using File = EEPromHandler::FilesInEEProm;

// A board as shipped: peripheral config at 64, build record behind it.
std::vector<std::uint8_t> BoardImage(std::size_t buildRecordPayload)
{
    std::vector<std::uint8_t> image(32768, 0xFF);
    auto put = [&](unsigned int file, unsigned short start, const std::string& payload) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(payload.data());
        const unsigned short check = EEPromHelper::CheckWord(bytes, payload.size());
        image[start] = static_cast<std::uint8_t>(check & 0xFF);
        image[start + 1u] = static_cast<std::uint8_t>(check >> 8);
        std::copy(payload.begin(), payload.end(), image.begin() + start + 2);
        const auto entry =
            EEPromHelper::ConstructFileMetaDataBuffer(start, static_cast<unsigned short>(payload.size() + 2));
        std::copy(entry.begin(), entry.end(), image.begin() + 4 + 4 * file);
    };
    put(0, 64, std::string(200, 'c'));
    std::string record = "{\"BuildNumber\":\"3.4.7\"}";
    record.resize(buildRecordPayload, ' ');
    put(1, 320, record);
    return image;
}

unsigned int MinimumTransfers(std::size_t bytes)
{
    return static_cast<unsigned int>((bytes + Cat24c256Eeprom::ReadChunkSize - 1) / Cat24c256Eeprom::ReadChunkSize);
}

void BM_BuildRecordRead(benchmark::State& state)
{
    const auto payload = static_cast<std::size_t>(state.range(0));
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(), BoardImage(payload));
    QnxEEPromHandler handler(bus, QnxEEPromHandler::EEPromLocation::StandardBoard);
    std::size_t transfers = 0;
    for (auto _ : state) {
        bus->ClearLog();
        benchmark::DoNotOptimize(handler.Read(File::BuildRecord));
        transfers = bus->Log().size();
    }
    state.counters["transfers"] = static_cast<double>(transfers);
    state.counters["minimum"] = MinimumTransfers(payload + 2);
}
BENCHMARK(BM_BuildRecordRead)->Arg(23)->Arg(100)->Arg(1000);

// What the monitor does at start-up: find the chip, load the table, read the record.
void BM_StartupBuildRecordRead(benchmark::State& state)
{
    const bool freshTable = state.range(0) != 0;
    auto image = BoardImage(23);
    if (freshTable) {
        std::fill(image.begin() + 4, image.begin() + 8, 0xFF); // no entry for the first file
    }
    auto bus = std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(), image);
    std::size_t transfers = 0;
    for (auto _ : state) {
        bus->ClearLog();
        QnxEEPromHandler handler(bus, QnxEEPromHandler::EEPromLocation::StandardBoard);
        benchmark::DoNotOptimize(handler.Read(File::BuildRecord));
        transfers = bus->Log().size();
    }
    state.counters["transfers"] = static_cast<double>(transfers);
    state.counters["minimum"] = 1 + 1 + MinimumTransfers(25); // probe, table, record
}
BENCHMARK(BM_StartupBuildRecordRead)->Arg(0)->Arg(1);

template <typename MakeBus>
void WholeChip(benchmark::State& state, MakeBus makeBus, bool oneTransfer)
{
    std::shared_ptr<I2CBus> bus = makeBus();
    if (!bus) {
        state.SkipWithError("no board image at /dev/i2c0 (run in tools/sandbox --i2c IMAGE)");
        return;
    }
    Cat24c256Eeprom eeprom(std::make_shared<I2CDevice>(bus, 0x56));
    std::vector<unsigned char> chip(32768);
    const unsigned char address[2] = {0, 0};
    for (auto _ : state) {
        const unsigned int got =
            oneTransfer ? bus->WriteThenRead(address, 2, chip.data(), 32768, 0x56, I2C::AddressMode::SevenBit)
                        : static_cast<unsigned int>(eeprom.Read(0, chip.data(), 32768));
        if (got != 32768) {
            state.SkipWithError("the chip read fell short");
        }
        benchmark::DoNotOptimize(chip.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 32768);
}

std::shared_ptr<I2CBus> ModelBus()
{
    return std::make_shared<ModelI2CBus>(Eeprom24Model::Cat24c256(), BoardImage(23));
}

std::shared_ptr<I2CBus> StandInBus()
{
    if (::access(I2C0ResourceManagerPath.c_str(), R_OK | W_OK) != 0) {
        return nullptr;
    }
    return std::make_shared<QnxI2CBus>();
}

void BM_WholeChipOneTransfer_Model(benchmark::State& state)
{
    WholeChip(state, ModelBus, true);
}
void BM_WholeChipDriverRead_Model(benchmark::State& state)
{
    WholeChip(state, ModelBus, false);
}
void BM_WholeChipOneTransfer_StandIn(benchmark::State& state)
{
    WholeChip(state, StandInBus, true);
}
void BM_WholeChipDriverRead_StandIn(benchmark::State& state)
{
    WholeChip(state, StandInBus, false);
}
BENCHMARK(BM_WholeChipOneTransfer_Model);
BENCHMARK(BM_WholeChipDriverRead_Model);
BENCHMARK(BM_WholeChipOneTransfer_StandIn);
BENCHMARK(BM_WholeChipDriverRead_StandIn);

} // namespace

BENCHMARK_MAIN();
