#pragma once

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <vector>

#include "app/core/ProgrammerView.h"

class QWidget;

// Sounds the prompts a sequence ends with. The tone patterns are synthesised
// and handed to the sound system, which plays them on its own: Play returns
// at once and the window keeps working. Where there is no sound device the
// prompts are silent; never an error box, a missing speaker is no fault of
// the programming run.
class CSoundPrompts : public QObject {
    Q_OBJECT

public:
    static constexpr int kSampleRate = 44100;

    explicit CSoundPrompts(QObject* parent = nullptr);
    ~CSoundPrompts() override;

    // Starts the prompt; a prompt still playing is cut short. The system
    // sounds are the desktop's bell. true when something was started, false
    // when the tones found no usable output and stayed silent.
    bool Play(PromptSound sound);
    // A tone pattern is being played right now.
    bool IsPlaying() const;

    // The window flash: the desktop's way to draw the eye to a window.
    static void Flash(QWidget* window);

    // The samples a tone prompt plays (empty for the system sounds).
    static std::vector<std::int16_t> Samples(PromptSound sound, int sampleRate = kSampleRate);

private:
    bool PlayTones(const std::vector<std::int16_t>& samples);
    void Stop();

    // The running output and its data; both owned by this object and gone
    // when the pattern has played out.
    QPointer<QObject> m_pOutput;
};
