#include "app/QtStatusSink.h"

#include <QCoreApplication>
#include <QEvent>

#include <utility>

namespace {

// One posted report. Qt keeps posted events of one receiver in posting
// order, whichever thread posted them.
class CStatusPostEvent : public QEvent {
public:
    static QEvent::Type EventType()
    {
        static const QEvent::Type type = QEvent::Type(QEvent::registerEventType());
        return type;
    }

    explicit CStatusPostEvent(StatusEvent status) : QEvent(EventType()), m_status(status) {}

    const StatusEvent& Status() const { return m_status; }

private:
    StatusEvent m_status;
};

}  // namespace

CQtStatusSink::CQtStatusSink(QObject* parent) : QObject(parent)
{
    // Registered here, on the window's thread, so that no worker races the
    // first registration.
    CStatusPostEvent::EventType();
}

CQtStatusSink::~CQtStatusSink() = default;

void CQtStatusSink::SetHandler(std::function<void(const StatusEvent&)> handler)
{
    m_handler = std::move(handler);
}

void CQtStatusSink::PostStatus(int code)
{
    Post({StatusEvent::Kind::Status, code});
}

void CQtStatusSink::SelectDeviceEntry(int index)
{
    Post({StatusEvent::Kind::SelectDevice, index});
}

void CQtStatusSink::Post(StatusEvent event)
{
    ++m_nPending;
    QCoreApplication::postEvent(this, new CStatusPostEvent(event));
}

void CQtStatusSink::customEvent(QEvent* event)
{
    if (event->type() != CStatusPostEvent::EventType()) {
        QObject::customEvent(event);
        return;
    }
    --m_nPending;
    if (m_handler)
        m_handler(static_cast<CStatusPostEvent*>(event)->Status());
}
