#include "platform/ToneSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

CToneSynth::CToneSynth(int sampleRate, double amplitude)
    : m_nSampleRate(std::max(1, sampleRate)), m_dAmplitude(std::clamp(amplitude, 0.0, 1.0))
{
}

std::size_t CToneSynth::SamplesFor(int milliseconds) const
{
    if (milliseconds <= 0)
        return 0;
    return std::size_t((std::int64_t(milliseconds) * m_nSampleRate + 500) / 1000);
}

void CToneSynth::AppendTone(std::vector<std::int16_t>& out, double hz, int milliseconds) const
{
    const std::size_t count = SamplesFor(milliseconds);
    // The fade never takes more than half the tone, so a very short tone
    // still rises and falls.
    const std::size_t fade =
        std::min(count / 2, std::size_t(kFadeMs * m_nSampleRate / 1000.0 + 0.5));
    const double peak = m_dAmplitude * 32767.0;
    const double step = 2.0 * std::numbers::pi * hz / m_nSampleRate;
    out.reserve(out.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        const std::size_t fromEdge = std::min(i, count - 1 - i);
        if (fromEdge < fade)
            gain = 0.5 - 0.5 * std::cos(std::numbers::pi * double(fromEdge) / double(fade));
        const double value = peak * gain * std::sin(step * double(i));
        out.push_back(std::int16_t(std::lround(std::clamp(value, -32767.0, 32767.0))));
    }
}

void CToneSynth::AppendSilence(std::vector<std::int16_t>& out, int milliseconds) const
{
    out.insert(out.end(), SamplesFor(milliseconds), std::int16_t(0));
}

std::vector<std::int16_t> CToneSynth::SuccessPattern() const
{
    std::vector<std::int16_t> samples;
    for (int i = 0; i < kSuccessTones; ++i) {
        if (i > 0)
            AppendSilence(samples, kSuccessGapMs);
        AppendTone(samples, kSuccessHz, kSuccessToneMs);
    }
    return samples;
}

std::vector<std::int16_t> CToneSynth::FailureTone() const
{
    std::vector<std::int16_t> samples;
    AppendTone(samples, kFailureHz, kFailureToneMs);
    return samples;
}
