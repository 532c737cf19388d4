#include "app/SoundPrompts.h"

#include <QApplication>
#include <QByteArray>
#include <QBuffer>
#include <QWidget>

#ifdef TAMBERLINK_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#endif

#include "platform/ToneSynth.h"

CSoundPrompts::CSoundPrompts(QObject* parent) : QObject(parent) {}

CSoundPrompts::~CSoundPrompts()
{
    Stop();
}

std::vector<std::int16_t> CSoundPrompts::Samples(PromptSound sound, int sampleRate)
{
    const CToneSynth synth(sampleRate);
    switch (sound) {
    case PromptSound::SuccessTones:
        return synth.SuccessPattern();
    case PromptSound::FailureTone:
        return synth.FailureTone();
    case PromptSound::SystemDefault:
    case PromptSound::SystemExclamation:
        break;
    }
    return {};
}

bool CSoundPrompts::Play(PromptSound sound)
{
    Stop();
    if (sound == PromptSound::SystemDefault || sound == PromptSound::SystemExclamation) {
        QApplication::beep();
        return true;
    }
    return PlayTones(Samples(sound));
}

bool CSoundPrompts::IsPlaying() const
{
    return !m_pOutput.isNull();
}

void CSoundPrompts::Flash(QWidget* window)
{
    if (window)
        QApplication::alert(window->window());
}

void CSoundPrompts::Stop()
{
    if (QObject* output = m_pOutput.data()) {
        m_pOutput.clear();
#ifdef TAMBERLINK_HAVE_MULTIMEDIA
        if (auto* sink = qobject_cast<QAudioSink*>(output)) {
            // Stopping emits stateChanged: let it find nothing to clean up.
            sink->disconnect(this);
            sink->stop();
        }
#endif
        delete output;
    }
}

bool CSoundPrompts::PlayTones(const std::vector<std::int16_t>& samples)
{
#ifdef TAMBERLINK_HAVE_MULTIMEDIA
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || samples.empty())
        return false;
    QAudioFormat format;
    format.setSampleRate(kSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return false;

    auto* sink = new QAudioSink(device, format, this);
    auto* buffer = new QBuffer(sink);
    buffer->setData(reinterpret_cast<const char*>(samples.data()),
                    qsizetype(samples.size() * sizeof(std::int16_t)));
    buffer->open(QIODevice::ReadOnly);
    m_pOutput = sink;
    // The sink pulls the samples on its own; once they are out (idle) or the
    // device gave up (stopped), the output goes.
    connect(sink, &QAudioSink::stateChanged, this, [this, sink](QAudio::State state) {
        if (state != QAudio::IdleState && state != QAudio::StoppedState)
            return;
        if (m_pOutput.data() == sink)
            m_pOutput.clear();
        sink->disconnect(this);
        sink->stop();
        sink->deleteLater();
    });
    sink->start(buffer);
    if (sink->state() == QAudio::StoppedState && sink->error() != QAudio::NoError) {
        // A device that is listed but cannot be opened: silent.
        if (m_pOutput.data() == sink)
            Stop();
        return false;
    }
    return true;
#else
    // No sound system built in: the desktop's bell stands in.
    if (!samples.empty())
        QApplication::beep();
    return !samples.empty();
#endif
}
