// Loaded into the real tamberlink through LD_PRELOAD by bench_window, so that
// the program's start-up is timed as it is, without a hook of its own. Writes
// lines to the descriptor named in TAMBERLINK_START_PROBE_FD; N is
// CLOCK_MONOTONIC (the clock the benchmark started the process by) and C the
// process's CPU time, both in nanoseconds:
//   app N C            the QApplication is being constructed (platform
//                      plugin loaded)
//   painted N C CLASS  the first top-level window to get a paint event (of
//                      class CLASS) has painted and handed its frame to the
//                      platform
// Does nothing when the variable is not set.

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

int g_fd = -1;

long long Nanoseconds(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Report(const char* what, const char* detail = "")
{
    char line[160];
    const int length = std::snprintf(line, sizeof line, "%s %lld %lld %s\n", what,
                                     Nanoseconds(CLOCK_MONOTONIC),
                                     Nanoseconds(CLOCK_PROCESS_CPUTIME_ID), detail);
    // One short write to a pipe is atomic; a failure only loses the figure.
    if (length > 0 && ::write(g_fd, line, std::size_t(length)) < 0)
        return;
}

class CFirstPaintWatch : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (m_seen || event->type() != QEvent::Paint)
            return false;
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !widget->isWindow())
            return false;
        m_seen = true;
        m_class = widget->metaObject()->className();
        // A window paints its children and flushes the frame before the
        // event loop takes the next posted call.
        QTimer::singleShot(0, this, [this] {
            Report("painted", m_class.constData());
            QCoreApplication::instance()->removeEventFilter(this);
        });
        return false;
    }

private:
    bool m_seen = false;
    QByteArray m_class;
};

void OnApplication()
{
    Report("app");
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new CFirstPaintWatch(app));
}

struct CInstall {
    CInstall()
    {
        const char* fd = std::getenv("TAMBERLINK_START_PROBE_FD");
        if (!fd || !*fd)
            return;
        g_fd = std::atoi(fd);
        qAddPreRoutine(OnApplication);
    }
} g_install;

}  // namespace
