// Throughput of the Intel HEX converter on a large, well-formed text.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "bench/ThreadCpuClock.h"
#include "formats/IntelHex.h"
#include "platform/MessageSink.h"

namespace {

class CNullMessageSink : public IMessageSink {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
};

// 16-byte data records over the whole 64 KB address space, repeated until the
// text reaches targetBytes, then the end record. lineBreak is "\r\n" or "\n".
std::string MakeHexText(std::size_t targetBytes, const char* lineBreak)
{
    std::mt19937 random(12345);
    std::string text;
    text.reserve(targetBytes + 64);
    char line[64];
    while (text.size() < targetBytes) {
        for (unsigned address = 0; address < 0x10000 && text.size() < targetBytes;
             address += 16) {
            unsigned sum = 16 + (address >> 8) + (address & 0xFF);
            int at = std::snprintf(line, sizeof line, ":10%04X00", address);
            for (int k = 0; k < 16; ++k) {
                const unsigned byte = random() & 0xFF;
                sum += byte;
                at += std::snprintf(line + at, sizeof line - at, "%02X", byte);
            }
            std::snprintf(line + at, sizeof line - at, "%02X%s", (0x100 - (sum & 0xFF)) & 0xFF,
                          lineBreak);
            text += line;
        }
    }
    text += ":00000001FF";
    text += lineBreak;
    return text;
}

void RunConversion(benchmark::State& state, const std::string& text)
{
    std::vector<std::uint8_t> image(0x20000, 0xFF);
    CNullMessageSink sink;
    const double started = ThreadCpuSeconds();
    for (auto _ : state) {
        const int result = ConvertHexToImage(text.c_str(), image.data(), sink);
        if (result < 0)
            state.SkipWithError("conversion failed");
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    const double elapsed = ThreadCpuSeconds() - started;
    const double bytes = static_cast<double>(state.iterations()) * static_cast<double>(text.size());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    // The throughput in decimal megabytes of text per CPU second, as the
    // target is stated; bytes_per_second is in binary units. CPU time keeps
    // the figure steady on a machine busy with other work.
    if (elapsed > 0) {
        char label[32];
        std::snprintf(label, sizeof label, "%.0f MB/s", bytes / 1e6 / elapsed);
        state.SetLabel(label);
    }
}

void BM_HexToImage16MB_CRLF(benchmark::State& state)
{
    static const std::string text = MakeHexText(16u << 20, "\r\n");
    RunConversion(state, text);
}

void BM_HexToImage16MB_LF(benchmark::State& state)
{
    static const std::string text = MakeHexText(16u << 20, "\n");
    RunConversion(state, text);
}

// One 64 KB image, the size hex2bin usually sees.
void BM_HexToImage64KImage(benchmark::State& state)
{
    static const std::string text = MakeHexText(0x10000 / 16 * 45, "\r\n");
    RunConversion(state, text);
}

}  // namespace

BENCHMARK(BM_HexToImage16MB_CRLF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HexToImage16MB_LF)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HexToImage64KImage)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
