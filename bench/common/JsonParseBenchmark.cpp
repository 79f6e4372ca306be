// Time per parse of the program's two JSON texts, each against rapidjson's own
// Document::Parse of the same text in the same run:
//  - the English page layout (about 600 bytes) through the layout reader;
//  - a preference record of realistic size through the framed-record import
//    from memory (as the preference loader does it: the file's bytes copied
//    into a block with one spare byte, then imported in place).
#include "JsonImporterExporter.h"
#include "MemoryOperation.h"
#include "VexaJsonFileReader.h"

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <cstdlib>
#include <unistd.h>

namespace {

const std::string Layout =
    R"({"buttons": {"button_one_bbox": [854, 520, 1004, 580], "button_two_bbox": [696, 520, 846, 580], )"
    R"("single_button_bbox": [854, 520, 1004, 580]}, "version": {"0_version_bbox": [441, 106, 741, 129], )"
    R"("1_version_bbox": [371, 131, 671, 154], "4_version_bbox": [67, 131, 367, 154], )"
    R"("11_version_bbox": [371, 131, 671, 154], "12_version_bbox": [403, 131, 703, 154], )"
    R"("13_version_bbox": [371, 131, 671, 154], "14_version_bbox": [67, 131, 367, 154]}, )"
    R"("loadingBar": {"5_loading_bar_bbox": [183, 415, 841, 438], "6_loading_bar_bbox": [182, 238, 842, 263]}, )"
    R"("percentage": {"6_percentage_bbox": [343, 198, 1004, 218]}})";

// A printer's preference document: 60 properties named by identifier, with
// string, number and flag values, as the compact writer stores them.
std::string PreferenceText()
{
    std::string text = R"({"Version":3,"Properties":[)";
    for (int i = 0; i < 60; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "%08X-2887-4AF9-8A06-3790%08X", 0x9F8EE615u + static_cast<unsigned>(i),
                      0x2964D991u + static_cast<unsigned>(i));
        text += i == 0 ? "" : ",";
        text += R"({"Name":")" + std::string(name) + R"(","Value":)";
        switch (i % 3) {
        case 0: text += R"("german")"; break;
        case 1: text += std::to_string(1000 + i * 37); break;
        default: text += "true"; break;
        }
        text += R"(,"Group":"Printer","ReadOnly":false})";
    }
    text += "]}";
    return text;
}

std::vector<unsigned char> Framed(const std::string& text)
{
    std::vector<unsigned char> record(JSONGuid::JSON_Identifier_GUID, JSONGuid::JSON_Identifier_GUID + 16);
    const auto n = static_cast<std::uint32_t>(text.size());
    for (int i = 0; i < 4; ++i)
        record.push_back(static_cast<unsigned char>(n >> (8 * i)));
    record.insert(record.end(), text.begin(), text.end());
    record.push_back(0);
    return record;
}

void LayoutRapidJsonParse(benchmark::State& state)
{
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(Layout.data(), Layout.size());
        benchmark::DoNotOptimize(document.HasParseError());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Layout.size()));
}

void LayoutReader(benchmark::State& state)
{
    for (auto _ : state) {
        VexaJsonFileReader reader(Layout.data(), static_cast<int>(Layout.size()));
        benchmark::DoNotOptimize(reader.HasParseError());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Layout.size()));
}

void PreferenceRapidJsonParse(benchmark::State& state)
{
    const std::string text = PreferenceText();
    for (auto _ : state) {
        rapidjson::Document document;
        document.Parse(text.data(), text.size());
        benchmark::DoNotOptimize(document.HasParseError());
    }
    state.SetLabel(std::to_string(text.size()) + " bytes");
}

void PreferenceRecordImport(benchmark::State& state)
{
    const std::vector<unsigned char> record = Framed(PreferenceText());
    std::vector<unsigned char> block(record.size());
    for (auto _ : state) {
        std::memcpy(block.data(), record.data(), record.size());
        JsonImporterExporter json;
        benchmark::DoNotOptimize(json.ImportData(block.data(), block.size()));
    }
    state.SetLabel(std::to_string(record.size()) + " bytes");
}

// The same import with the free-memory figure served from a small file, as
// cheap to ask as the target's system-manager message (a few microseconds)
// rather than the host kernel's /proc/meminfo, which is generated on every read.
void PreferenceRecordImportQuickMemoryQuery(benchmark::State& state)
{
    char path[] = "/tmp/bench-meminfoXXXXXX";
    const int fd = mkstemp(path);
    const char content[] = "MemAvailable: 262144 kB\n";
    if (fd < 0 || write(fd, content, sizeof content - 1) != static_cast<ssize_t>(sizeof content - 1)) {
        state.SkipWithError("cannot write a meminfo file");
        return;
    }
    close(fd);
    setenv("UPGRADE_HOST_MEMINFO", path, 1);
    PreferenceRecordImport(state);
    unsetenv("UPGRADE_HOST_MEMINFO");
    unlink(path);
}

// The import asks the system manager for free memory each time; on the host
// that is a read of /proc/meminfo. Shown alone so that the parse's own share
// can be seen.
void FreeMemoryQuery(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(MemoryOperation::GetAvailablePhysicalMemory());
}

} // namespace

BENCHMARK(LayoutRapidJsonParse);
BENCHMARK(LayoutReader);
BENCHMARK(PreferenceRapidJsonParse);
BENCHMARK(PreferenceRecordImport);
BENCHMARK(PreferenceRecordImportQuickMemoryQuery);
BENCHMARK(FreeMemoryQuery);

BENCHMARK_MAIN();
