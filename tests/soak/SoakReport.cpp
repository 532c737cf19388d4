#include "tests/soak/SoakReport.h"

#include <algorithm>
#include <cstdio>

void CSoakReport::Record(const std::string& kind, bool asExpected, std::chrono::milliseconds took)
{
    Tally& tally = m_tallies[kind];
    ++tally.runs;
    tally.expected += asExpected ? 1 : 0;
    tally.total += took;
    tally.longest = std::max(tally.longest, took);
    ++m_nRuns;
}

void CSoakReport::Fail(const std::string& what)
{
    std::fprintf(stderr, "SOAK FAILURE: %s\n", what.c_str());
    m_failures.push_back(what);
}

void CSoakReport::Note(const std::string& what)
{
    m_notes.push_back(what);
}

void CSoakReport::PrintSummary(const std::string& title) const
{
    std::printf("%s: %d runs, %d failures\n", title.c_str(), m_nRuns, Failures());
    std::printf("  %-26s %6s %9s %10s %10s\n", "fault", "runs", "as due", "mean ms", "max ms");
    for (const auto& [kind, tally] : m_tallies) {
        const long long mean = tally.runs ? tally.total.count() / tally.runs : 0;
        std::printf("  %-26s %6d %9d %10lld %10lld\n", kind.c_str(), tally.runs, tally.expected,
                    mean, static_cast<long long>(tally.longest.count()));
    }
    for (const std::string& note : m_notes)
        std::printf("  note: %s\n", note.c_str());
    for (const std::string& failure : m_failures)
        std::printf("  FAILED: %s\n", failure.c_str());
    std::fflush(stdout);
}
