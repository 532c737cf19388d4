#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/ToneSynth.h"

namespace {

using Samples = std::vector<std::int16_t>;

// Lengths of the runs of zero samples longer than minGap: the silences (a
// sine passes through zero now and then, but never for long).
std::vector<std::size_t> Silences(const Samples& s, std::size_t minGap)
{
    std::vector<std::size_t> gaps;
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t j = i;
        while (j < s.size() && s[j] == 0)
            ++j;
        if (j - i > minGap)
            gaps.push_back(j - i);
        i = j == i ? i + 1 : j;
    }
    return gaps;
}

// The frequency of a tone from its sign changes: two per period.
double MeasuredHz(const Samples& s, std::size_t start, std::size_t length, int rate)
{
    int crossings = 0;
    int lastSign = 0;
    for (std::size_t i = start; i < start + length; ++i) {
        const int sign = s[i] > 0 ? 1 : s[i] < 0 ? -1 : 0;
        if (sign != 0) {
            if (lastSign != 0 && sign != lastSign)
                ++crossings;
            lastSign = sign;
        }
    }
    return crossings / 2.0 / (double(length) / rate);
}

class ToneSynthRates : public ::testing::TestWithParam<int> {};

TEST_P(ToneSynthRates, FailureToneIsOne410HzToneOf150Ms)
{
    const int rate = GetParam();
    const CToneSynth synth(rate);
    const Samples s = synth.FailureTone();
    EXPECT_EQ(s.size(), std::size_t((rate * 150 + 500) / 1000));
    EXPECT_NEAR(MeasuredHz(s, 0, s.size(), rate), 410.0, 410.0 * 0.03);
}

TEST_P(ToneSynthRates, SuccessPatternIsThree2000HzTonesWithGaps)
{
    const int rate = GetParam();
    const CToneSynth synth(rate);
    const Samples s = synth.SuccessPattern();
    const std::size_t tone = synth.SamplesFor(30);
    const std::size_t gap = synth.SamplesFor(100);
    ASSERT_EQ(tone, std::size_t((rate * 30 + 500) / 1000));
    ASSERT_EQ(gap, std::size_t((rate * 100 + 500) / 1000));
    EXPECT_EQ(s.size(), 3 * tone + 2 * gap);

    for (int t = 0; t < 3; ++t) {
        const std::size_t start = std::size_t(t) * (tone + gap);
        EXPECT_NEAR(MeasuredHz(s, start, tone, rate), 2000.0, 2000.0 * 0.03) << "tone " << t;
        if (t < 2) {
            for (std::size_t i = start + tone; i < start + tone + gap; ++i)
                ASSERT_EQ(s[i], 0) << "gap after tone " << t << " at " << i;
        }
    }
    // Nothing but the three tones sounds: each silence between them is
    // exactly the gap, seen from the samples alone.
    const std::vector<std::size_t> gaps = Silences(s, std::size_t(rate / 1000));
    ASSERT_EQ(gaps.size(), 2u);
    for (std::size_t g : gaps)
        EXPECT_NEAR(double(g), double(gap), 2.0);
}

INSTANTIATE_TEST_SUITE_P(Rates, ToneSynthRates, ::testing::Values(44100, 48000, 22050));

TEST(ToneSynth, TonesFadeInAndOutAndStayBelowTheAmplitude)
{
    const CToneSynth synth(44100, 0.5);
    const Samples s = synth.FailureTone();
    ASSERT_FALSE(s.empty());
    // Edges start and end at silence: no click.
    EXPECT_EQ(s.front(), 0);
    EXPECT_LE(std::abs(int(s.back())), 200);
    int peak = 0;
    for (std::int16_t v : s)
        peak = std::max(peak, std::abs(int(v)));
    EXPECT_LE(peak, 16384);
    EXPECT_GE(peak, 16000);  // the middle reaches full amplitude
}

} // namespace
