// Throughput of the S-record converter on large, well-formed texts, shaped
// like the HEX converter's benchmark (bench/hex_bench.cpp) so the two figures
// compare: 16 data bytes a record, repeated up to 16 MiB, and one 64 KB image.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/ThreadCpuClock.h"
#include "formats/SRecord.h"
#include "platform/MessageSink.h"

namespace {

class CNullMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

// S1 (16-bit) or S2 (24-bit) records of 16 data bytes over span bytes of
// address space, repeated until the text reaches targetBytes, then S9.
std::string MakeSRecordText(std::size_t targetBytes, unsigned span, int type,
                            const char* lineBreak)
{
    std::mt19937 random(12345);
    std::string text;
    text.reserve(targetBytes + 64);
    char line[80];
    const int addressBytes = type == 1 ? 2 : 3;
    while (text.size() < targetBytes) {
        for (unsigned address = 0; address < span && text.size() < targetBytes; address += 16) {
            const unsigned count = static_cast<unsigned>(addressBytes) + 16 + 1;
            unsigned sum = count + (address >> 16) + ((address >> 8) & 0xFF) + (address & 0xFF);
            int at = type == 1 ? std::snprintf(line, sizeof line, "S1%02X%04X", count, address)
                               : std::snprintf(line, sizeof line, "S2%02X%06X", count, address);
            for (int k = 0; k < 16; ++k) {
                const unsigned byte = random() & 0xFF;
                sum += byte;
                at += std::snprintf(line + at, sizeof line - at, "%02X", byte);
            }
            std::snprintf(line + at, sizeof line - at, "%02X%s", ~sum & 0xFF, lineBreak);
            text += line;
        }
    }
    text += "S9030000FC";
    text += lineBreak;
    return text;
}

void RunConversion(benchmark::State& state, const std::string& text)
{
    std::vector<std::uint8_t> image(0x20000, 0xFF);
    CNullMessageSink sink;
    const std::string ext = "S19";
    const double started = ThreadCpuSeconds();
    for (auto _ : state) {
        const int result = ConvertSRecordToImage(text, ext, image.data(), sink);
        if (result < 0)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    const double elapsed = ThreadCpuSeconds() - started;
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(text.size());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    // Decimal megabytes of text per CPU second, as bench_hex reports them.
    if (elapsed > 0) {
        char label[32];
        std::snprintf(label, sizeof label, "%.0f MB/s", bytes / 1e6 / elapsed);
        state.SetLabel(label);
    }
}

void BM_SRecordToImage16MB_CRLF(benchmark::State& state)
{
    static const std::string text = MakeSRecordText(16u << 20, 0x10000, 1, "\r\n");
    RunConversion(state, text);
}

void BM_SRecordToImage16MB_LF(benchmark::State& state)
{
    static const std::string text = MakeSRecordText(16u << 20, 0x10000, 1, "\n");
    RunConversion(state, text);
}

// One 64 KB image in S1 records, as bench_hex's 64 KB case.
void BM_SRecordToImage64KImage(benchmark::State& state)
{
    static const std::string text = MakeSRecordText(0x10000 / 16 * 44, 0x10000, 1, "\r\n");
    RunConversion(state, text);
}

// The whole 128 KB buffer in S2 records.
void BM_SRecordToImage128KImage(benchmark::State& state)
{
    static const std::string text = MakeSRecordText(0x20000 / 16 * 46, 0x20000, 2, "\r\n");
    RunConversion(state, text);
}

}  // namespace

BENCHMARK(BM_SRecordToImage16MB_CRLF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SRecordToImage16MB_LF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SRecordToImage64KImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SRecordToImage128KImage)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
