#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Builds the prompt tones as mono 16-bit PCM, ready for any sound output.
// Each tone starts and ends with a short raised-cosine fade: a sine cut off
// mid-swing clicks in the speaker.
class CToneSynth {
public:
    static constexpr int kDefaultSampleRate = 44100;
    static constexpr double kFadeMs = 3.0;

    // The success pattern: three short high tones with silence between them.
    static constexpr double kSuccessHz = 2000.0;
    static constexpr int kSuccessToneMs = 30;
    static constexpr int kSuccessGapMs = 100;
    static constexpr int kSuccessTones = 3;
    // The failure prompt: one low tone.
    static constexpr double kFailureHz = 410.0;
    static constexpr int kFailureToneMs = 150;

    // amplitude: peak as a fraction of full scale, clamped to 0..1.
    explicit CToneSynth(int sampleRate = kDefaultSampleRate, double amplitude = 0.5);

    int SampleRate() const { return m_nSampleRate; }
    // Samples in milliseconds of sound at this rate, rounded to nearest.
    std::size_t SamplesFor(int milliseconds) const;

    void AppendTone(std::vector<std::int16_t>& out, double hz, int milliseconds) const;
    void AppendSilence(std::vector<std::int16_t>& out, int milliseconds) const;

    // Tone, gap, tone, gap, tone: no silence before the first or after the
    // last tone.
    std::vector<std::int16_t> SuccessPattern() const;
    std::vector<std::int16_t> FailureTone() const;

private:
    int m_nSampleRate;
    double m_dAmplitude;
};
