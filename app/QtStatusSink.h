#pragma once

#include <QObject>

#include <atomic>
#include <functional>

#include "programmer/StatusQueue.h"
#include "programmer/StatusSink.h"

class QEvent;

// Carries the controller's reports from any thread onto the thread this
// object lives on (the window's): each call becomes a posted event, and the
// handler sees them there one at a time, in the order they were made.
class CQtStatusSink : public QObject, public IStatusSink {
    Q_OBJECT

public:
    explicit CQtStatusSink(QObject* parent = nullptr);
    ~CQtStatusSink() override;

    // Called on this object's thread for every event. Without a handler,
    // events are dropped.
    void SetHandler(std::function<void(const StatusEvent&)> handler);

    // Any thread; never waits.
    void PostStatus(int code) override;
    void SelectDeviceEntry(int index) override;

    // Events posted but not handled yet.
    int Pending() const { return m_nPending.load(); }

protected:
    void customEvent(QEvent* event) override;

private:
    void Post(StatusEvent event);

    std::function<void(const StatusEvent&)> m_handler;
    std::atomic<int> m_nPending{0};
};
