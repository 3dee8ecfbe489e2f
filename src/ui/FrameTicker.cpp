#include "FrameTicker.h"

#include <QBasicTimer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

class Ticker final : public QObject {
public:
    // The clock, made on first use when `make`; none once the application is gone.
    static Ticker* instance(bool make) {
        static QPointer<Ticker> ticker;
        if (!ticker && make && qApp)
            ticker = new Ticker(qApp);
        return ticker;
    }

    void add(QObject* client, int intervalMs, std::function<void()> step) {
        const int frames = int(std::lround(FrameTicker::stepMs(intervalMs) / FrameTicker::frameMs));
        if (!timer_.isActive()) {
            clock_.start();
            frame_ = 0;
        }
        clients_.insert(client, {frames, frame_ / frames, std::move(step)});
        connect(client, &QObject::destroyed, this, [this, client] { remove(client); });
        // A client that steps more often than those already here may need an earlier frame.
        schedule();
    }
    void remove(const QObject* client) {
        auto* key = const_cast<QObject*>(client);
        if (clients_.remove(key) > 0)
            disconnect(key, &QObject::destroyed, this, nullptr);
        if (clients_.isEmpty())
            timer_.stop();
    }
    bool has(const QObject* client) const { return clients_.contains(const_cast<QObject*>(client)); }

protected:
    void timerEvent(QTimerEvent* event) override {
        if (event->timerId() != timer_.timerId()) {
            QObject::timerEvent(event);
            return;
        }
        // A late frame is not made up for: the clock goes on from the frame it is in.
        frame_ = std::max(frame_ + 1, qint64(std::round(double(clock_.elapsed()) / FrameTicker::frameMs)));
        // A step may make a client leave or another join: walk a copy.
        const QList<QObject*> clients = clients_.keys();
        for (QObject* client : clients) {
            auto it = clients_.find(client);
            if (it == clients_.end() || frame_ / it->frames <= it->period)
                continue;
            it->period = frame_ / it->frames;
            const std::function<void()> step = it->step;
            step();
        }
        if (!clients_.isEmpty())
            schedule();
    }

private:
    struct Client {
        int frames;
        qint64 period; // the last of its steps taken, in its own steps since the clock started
        std::function<void()> step;
    };

    explicit Ticker(QObject* parent) : QObject(parent) {}

    // The next frame on which a client steps, timed from the start so that frames do not drift.
    void schedule() {
        qint64 next = frame_ + 1;
        while (
            std::none_of(clients_.cbegin(), clients_.cend(), [next](const Client& c) { return next % c.frames == 0; }))
            ++next;
        const double due = double(next) * FrameTicker::frameMs;
        timer_.start(std::max(0, int(std::ceil(due - double(clock_.elapsed())))), Qt::PreciseTimer, this);
    }

    QBasicTimer timer_;
    QElapsedTimer clock_;
    qint64 frame_ = 0;
    QHash<QObject*, Client> clients_;
};

} // namespace

namespace FrameTicker {

double stepMs(int intervalMs) {
    return std::max(1L, std::lround(intervalMs / frameMs)) * frameMs;
}

void join(QObject* client, int intervalMs, std::function<void()> step) {
    if (Ticker* ticker = Ticker::instance(true)) {
        ticker->remove(client);
        ticker->add(client, intervalMs, std::move(step));
    }
}

void leave(QObject* client) {
    if (Ticker* ticker = Ticker::instance(false))
        ticker->remove(client);
}

bool joined(const QObject* client) {
    const Ticker* ticker = Ticker::instance(false);
    return ticker && ticker->has(client);
}

} // namespace FrameTicker
