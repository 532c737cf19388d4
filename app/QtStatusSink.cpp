#include "app/QtStatusSink.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>

namespace {

// Tells the sink's thread that the queue has events ready. Qt keeps posted
// events of one receiver in posting order, whichever thread posted them.
class CStatusWakeupEvent : public QEvent {
public:
    static QEvent::Type EventType()
    {
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
        return type;
    }

    CStatusWakeupEvent() : QEvent(EventType()) {}
};

}  // namespace

CQtStatusSink::CQtStatusSink(QObject* parent)
    : QObject(parent),
      m_queue(CStatusQueue::Progress::Coalesced,
              [this](CStatusQueue::Posted posted) { OnPosted(posted); })
{
    // Registered here, on the window's thread, so that no worker races the
    // first registration.
    CStatusWakeupEvent::EventType();
    m_progressTimer.setSingleShot(true);
    m_progressTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_progressTimer, &QTimer::timeout, this, &CQtStatusSink::OnProgressDue);
}

CQtStatusSink::~CQtStatusSink() = default;

void CQtStatusSink::SetHandler(std::function<void(const StatusEvent&)> handler)
{
    m_handler = std::move(handler);
}

void CQtStatusSink::PostStatus(int code)
{
    m_queue.PostStatus(code);
}

void CQtStatusSink::SelectDeviceEntry(int index)
{
    m_queue.SelectDeviceEntry(index);
}

void CQtStatusSink::OnPosted(CStatusQueue::Posted posted)
{
    // A held report is taken when the armed timer fires.
    if (posted == CStatusQueue::Posted::Held && m_bProgressWatched.load())
        return;
    PostWakeup();
}

void CQtStatusSink::PostWakeup()
{
    if (m_bWakeupPosted.load())
        return;  // one is on its way
    // Made before the flag is set, so that the sink's thread, which reads
    // the flag before the event, is ordered after the event's construction
    // by our own atomic, not only by Qt's queue (which ThreadSanitizer
    // cannot see into).
    auto event = std::make_unique<CStatusWakeupEvent>();
    if (!m_bWakeupPosted.exchange(true))
        QCoreApplication::postEvent(this, event.release());
}

void CQtStatusSink::customEvent(QEvent* event)
{
    // Pairs with the exchange in PostWakeup: the event is whole from here.
    (void)m_bWakeupPosted.load(std::memory_order_acquire);
    if (event->type() != CStatusWakeupEvent::EventType()) {
        QObject::customEvent(event);
        return;
    }
    ++m_nWakeups;
    // Cleared before the queue is read: whatever is posted from here on
    // brings a wake-up of its own.
    m_bWakeupPosted.store(false);
    TakeReady();
}

void CQtStatusSink::OnProgressDue()
{
    ++m_nWakeups;
    TakeReady();
}

void CQtStatusSink::TakeReady()
{
    // Reports coming faster than the interval (a watch is on): after one is
    // handled, the next is as good as held already. Watching for it now
    // spares it a wake-up of its own; a slower stream is not watched, so
    // its reports each cost one wake-up and no timer.
    const bool watching = m_bProgressWatched.load();
    const bool progress = HandleReady();
    WatchHeldProgress(progress && watching);
}

bool CQtStatusSink::HandleReady()
{
    bool progress = false;
    // Only what is there now: events posted while these are handled come
    // with their own wake-up, so a busy sender cannot starve the window.
    for (std::size_t n = m_queue.Size(); n > 0; --n) {
        const std::optional<StatusEvent> event = m_queue.TryPop();
        if (!event)
            break;  // a held progress report, not due yet
        progress |= event->IsProgress();
        if (m_handler)
            m_handler(*event);
    }
    return progress;
}

void CQtStatusSink::WatchHeldProgress(bool expectMore)
{
    const auto arm = [this] {
        m_bProgressWatched.store(true);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            m_queue.NextProgressAt() - CStatusQueue::Clock::now());
        m_progressTimer.start(std::max(0, int(wait.count())));
    };
    if (expectMore) {
        arm();
        return;
    }
    m_progressTimer.stop();
    m_bProgressWatched.store(false);
    // Checked after the flag is cleared: a report held before that brought
    // no wake-up, one held after it brings its own.
    if (m_queue.HoldsProgress())
        arm();
}
