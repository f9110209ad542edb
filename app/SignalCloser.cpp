#include "SignalCloser.h"

#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "CoreMachDebugLog.h"

namespace {

constexpr int kSignals[3] = {SIGTERM, SIGINT, SIGHUP};

// Read by the handler: set before the handler is installed, cleared after it is removed.
volatile sig_atomic_t sWriteFd = -1;
volatile sig_atomic_t sHandled[3] = {};

// Async-signal-safe calls only.
void OnSignal(int signalNumber)
{
    const int savedErrno = errno;
    struct sigaction byDefault = {};
    byDefault.sa_handler = SIG_DFL;
    for (int i = 0; i < 3; ++i)
        if (sHandled[i])
            sigaction(kSignals[i], &byDefault, nullptr);
    const char byte = char(signalNumber);
    // A full pipe already holds a request: nothing is lost.
    [[maybe_unused]] const ssize_t written = write(sWriteFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

SignalCloser::SignalCloser(QObject* parent) : QObject(parent)
{
    if (!VERIFY(sWriteFd == -1) || !VERIFY(pipe2(mPipe, O_CLOEXEC | O_NONBLOCK) == 0))
        return;
    sWriteFd = mPipe[1];
    mNotifier = std::make_unique<QSocketNotifier>(mPipe[0], QSocketNotifier::Read);
    connect(mNotifier.get(), &QSocketNotifier::activated, this, &SignalCloser::readSignals);

    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        if (!VERIFY(sigaction(kSignals[i], nullptr, &mPrevious[i]) == 0) ||
            mPrevious[i].sa_handler == SIG_IGN)
            continue;
        // Marked first: a signal right after the install must find itself to reset.
        sHandled[i] = 1;
        sHandled[i] = VERIFY(sigaction(kSignals[i], &action, nullptr) == 0);
    }
}

SignalCloser::~SignalCloser()
{
    if (mPipe[0] < 0)
        return;
    for (int i = 0; i < 3; ++i) {
        if (sHandled[i])
            VERIFY(sigaction(kSignals[i], &mPrevious[i], nullptr) == 0);
        sHandled[i] = 0;
    }
    mNotifier.reset();
    sWriteFd = -1;
    close(mPipe[0]);
    close(mPipe[1]);
}

void SignalCloser::readSignals()
{
    char bytes[16];
    ssize_t count = 0;
    int first = 0;
    while ((count = read(mPipe[0], bytes, sizeof bytes)) > 0)
        first = first ? first : bytes[0];
    if (first == 0)
        return;
    // Later signals took the default action; nothing more can arrive here.
    mNotifier->setEnabled(false);
    emit closeRequested(first);
}

bool import_SignalCloser()
{
    return import_CoreMachDebugLog();
}
