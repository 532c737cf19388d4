#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// What a soak saw: per kind of fault the runs, the ones that ended as they
// should and the time they took; every run that did not, with its story.
class CSoakReport {
public:
    void Record(const std::string& kind, bool asExpected, std::chrono::milliseconds took);
    // A run (or a check between runs) that went wrong; printed at once and
    // again in the summary.
    void Fail(const std::string& what);
    void Note(const std::string& what);

    int Runs() const { return m_nRuns; }
    int Failures() const { return int(m_failures.size()); }
    void PrintSummary(const std::string& title) const;

private:
    struct Tally {
        int runs = 0;
        int expected = 0;
        std::chrono::milliseconds total{0};
        std::chrono::milliseconds longest{0};
    };
    std::map<std::string, Tally> m_tallies;
    std::vector<std::string> m_failures;
    std::vector<std::string> m_notes;
    int m_nRuns = 0;
};
