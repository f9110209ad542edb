// The signals that ask a program to end (SIGTERM, SIGINT, SIGHUP) as a Qt signal on the main
// thread, so the program closes as the user would close it: cameras closed, preferences saved,
// broadcast stopped. The handler only writes the signal's number into a pipe that a socket
// notifier watches; it also gives the three back their default action, so a second signal while
// the program closes ends it at once. Needs no display.
#pragma once

#include <QObject>
#include <csignal>
#include <memory>

class QSocketNotifier;

class SignalCloser : public QObject
{
    Q_OBJECT

public:
    // One at a time, after the application object (its notifier needs the event loop). A signal
    // the program was started ignoring (nohup, a background job's SIGINT) stays ignored.
    explicit SignalCloser(QObject* parent = nullptr);
    // The signals' earlier actions come back.
    ~SignalCloser() override;

signals:
    // Once, for the first signal.
    void closeRequested(int signalNumber);

private:
    void readSignals();

    int mPipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> mNotifier;
    struct sigaction mPrevious[3] = {};
};

bool import_SignalCloser();
