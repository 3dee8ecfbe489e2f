#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (logout, shutdown, a service manager's stop), SIGHUP (the session or terminal went away) and SIGINT
// (Ctrl+C) as an event of the event loop: the handler only writes the signal's number to a pipe, and the loop
// reads it and emits `received`. One at a time; the previous handlers come back when it goes. A request is also
// remembered: one read by a modal loop during the start (an alert), before anything is connected, is not lost.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

    // Whether a stop request, or the session's end, has come since this was made.
    bool wasReceived() const { return received_; }

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* notifier_ = nullptr;
    bool received_ = false;
};
