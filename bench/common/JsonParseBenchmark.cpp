// Time per parse of the program's two JSON texts, each against rapidjson
// doing the same job in the same run:
//  - the English page layout (about 600 bytes) through the layout reader,
//    against Document::Parse of the same text (both copy the strings);
//  - a preference record of realistic size through the framed-record import
//    from memory (as the preference loader does it: the file's bytes copied
//    into a block with one spare byte, then imported in place), against the
//    same block copy and Document::ParseInsitu of the text in the block.
#include "JsonImporterExporter.h"
#include "MemoryOperation.h"
#include "RatioBenchmarks.h"
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
        case 0:
            text += R"("german")";
            break;
        case 1:
            text += std::to_string(1000 + i * 37);
            break;
        default:
            text += "true";
            break;
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
    for (int i = 0; i < 4; ++i) {
        record.push_back(static_cast<unsigned char>(n >> (8 * i)));
    }
    record.insert(record.end(), text.begin(), text.end());
    record.push_back(0);
    return record;
}

// Sets the free-memory figure to come from a small file while it lives: as
// cheap to ask as the target's system-manager message (a few microseconds),
// rather than the host kernel's /proc/meminfo, which is generated on every read.
class QuickMemoryFigure
{
public:
    QuickMemoryFigure()
    {
        const int fd = mkstemp(path_);
        const char content[] = "MemAvailable: 262144 kB\n";
        ready_ = fd >= 0 && write(fd, content, sizeof content - 1) == static_cast<ssize_t>(sizeof content - 1);
        if (fd >= 0) {
            close(fd);
        }
        if (ready_) {
            setenv("UPGRADE_HOST_MEMINFO", path_, 1);
        }
    }
    ~QuickMemoryFigure()
    {
        unsetenv("UPGRADE_HOST_MEMINFO");
        unlink(path_);
    }
    QuickMemoryFigure(const QuickMemoryFigure&) = delete;
    QuickMemoryFigure& operator=(const QuickMemoryFigure&) = delete;

    bool Ready() const { return ready_; }

private:
    char path_[32] = "/tmp/bench-meminfoXXXXXX";
    bool ready_ = false;
};

// One iteration of each case, kept out of line so that an instruction count
// can name it (bench/count-instructions).
[[gnu::noinline]] bool LayoutParseOnce()
{
    rapidjson::Document document;
    document.Parse(Layout.data(), Layout.size());
    return document.HasParseError();
}

[[gnu::noinline]] bool LayoutReaderOnce()
{
    VexaJsonFileReader reader(Layout.data(), static_cast<int>(Layout.size()));
    return reader.HasParseError();
}

// What the import does with the record, with nothing of the program's own:
// the block copy and rapidjson's in-place parse of the text in it.
[[gnu::noinline]] bool PreferenceInsituOnce(const std::vector<unsigned char>& record, std::vector<unsigned char>& block)
{
    std::memcpy(block.data(), record.data(), record.size());
    rapidjson::Document document;
    document.ParseInsitu(reinterpret_cast<char*>(block.data() + 20));
    return document.HasParseError() || !document.IsObject();
}

// The same with the free-memory query that every import makes first: the
// baseline that leaves only the program's own parse machinery in the ratio.
[[gnu::noinline]] bool PreferenceQueryInsituOnce(const std::vector<unsigned char>& record,
                                                 std::vector<unsigned char>& block)
{
    benchmark::DoNotOptimize(MemoryOperation::GetAvailablePhysicalMemory());
    return PreferenceInsituOnce(record, block);
}

[[gnu::noinline]] bool PreferenceImportOnce(const std::vector<unsigned char>& record, std::vector<unsigned char>& block)
{
    std::memcpy(block.data(), record.data(), record.size());
    JsonImporterExporter json;
    return json.ImportData(block.data(), block.size());
}

void LayoutRapidJsonParse(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(LayoutParseOnce());
    }
}

void LayoutReader(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(LayoutReaderOnce());
    }
}

void PreferenceBlockCopyInsituParse(benchmark::State& state)
{
    const std::vector<unsigned char> record = Framed(PreferenceText());
    std::vector<unsigned char> block(record.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(PreferenceInsituOnce(record, block));
    }
    state.SetLabel(std::to_string(record.size()) + " bytes");
}

void PreferenceQueryBlockCopyInsituParse(benchmark::State& state)
{
    const QuickMemoryFigure figure;
    if (!figure.Ready()) {
        state.SkipWithError("cannot write a meminfo file");
        return;
    }
    const std::vector<unsigned char> record = Framed(PreferenceText());
    std::vector<unsigned char> block(record.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(PreferenceQueryInsituOnce(record, block));
    }
    state.SetLabel(std::to_string(record.size()) + " bytes");
}

// The import as the preference loader does it; the free-memory figure from
// the host's /proc/meminfo.
void PreferenceRecordImport(benchmark::State& state)
{
    const std::vector<unsigned char> record = Framed(PreferenceText());
    std::vector<unsigned char> block(record.size());
    for (auto _ : state) {
        benchmark::DoNotOptimize(PreferenceImportOnce(record, block));
    }
    state.SetLabel(std::to_string(record.size()) + " bytes");
}

// The same import with the free-memory figure from a small file, as cheap as
// on the target.
void PreferenceRecordImportQuickMemoryQuery(benchmark::State& state)
{
    const QuickMemoryFigure figure;
    if (!figure.Ready()) {
        state.SkipWithError("cannot write a meminfo file");
        return;
    }
    PreferenceRecordImport(state);
}

// Every import asks for the free memory first; shown alone so that the
// parse's own share can be seen: from the host's /proc/meminfo, and from a
// small file.
void FreeMemoryQuery(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(MemoryOperation::GetAvailablePhysicalMemory());
    }
}

void QuickFreeMemoryQuery(benchmark::State& state)
{
    const QuickMemoryFigure figure;
    if (!figure.Ready()) {
        state.SkipWithError("cannot write a meminfo file");
        return;
    }
    FreeMemoryQuery(state);
}

} // namespace

int main(int argc, char** argv)
{
    return RatioBenchmarks::Main(
        argc, argv,
        {{"LayoutRapidJsonParse", LayoutRapidJsonParse, benchmark::kNanosecond},
         {"LayoutReader", LayoutReader, benchmark::kNanosecond},
         {"PreferenceBlockCopyInsituParse", PreferenceBlockCopyInsituParse, benchmark::kNanosecond},
         {"PreferenceQueryBlockCopyInsituParse", PreferenceQueryBlockCopyInsituParse, benchmark::kNanosecond},
         {"PreferenceRecordImportQuickMemoryQuery", PreferenceRecordImportQuickMemoryQuery, benchmark::kNanosecond},
         {"PreferenceRecordImport", PreferenceRecordImport, benchmark::kNanosecond},
         {"QuickFreeMemoryQuery", QuickFreeMemoryQuery, benchmark::kNanosecond},
         {"FreeMemoryQuery", FreeMemoryQuery, benchmark::kNanosecond}},
        {{"layout through the reader / Document::Parse (goal <= 1.3)", "LayoutReader", "LayoutRapidJsonParse"},
         {"record import, quick memory query / block copy + in-place parse (goal <= 1.3)",
          "PreferenceRecordImportQuickMemoryQuery", "PreferenceBlockCopyInsituParse"},
         {"record import, quick memory query / the same query + block copy + in-place parse",
          "PreferenceRecordImportQuickMemoryQuery", "PreferenceQueryBlockCopyInsituParse"},
         {"the quick memory query alone / block copy + in-place parse", "QuickFreeMemoryQuery",
          "PreferenceBlockCopyInsituParse"},
         {"record import, host /proc/meminfo / block copy + in-place parse", "PreferenceRecordImport",
          "PreferenceBlockCopyInsituParse"}});
}
