#include "platform/qt/TerminationSignals.h"

#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler can reach nothing but this.
int gPipe[2] = {-1, -1};
// One reader of the pipe for every object that catches signals: each byte must reach all that
// catch its signal, not whichever object reads first.
QSocketNotifier* gReader = nullptr;
QList<TerminationSignals*> gCatchers;

extern "C" void onTerminationSignal(int signalNumber)
{
    const char byte = static_cast<char>(signalNumber);
    const ssize_t written = ::write(gPipe[1], &byte, 1);
    static_cast<void>(written);
}

void setHandler(int signalNumber, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signalNumber, &action, nullptr);
}

} // namespace

TerminationSignals::TerminationSignals(QList<int> signalNumbers, QObject* parent)
    : QObject(parent), mSignals(std::move(signalNumbers))
{
    if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    if (!gReader) {
        gReader = new QSocketNotifier(gPipe[0], QSocketNotifier::Read);
        QObject::connect(gReader, &QSocketNotifier::activated, &TerminationSignals::dispatch);
    }
    gCatchers.append(this);
    mCatching = true;
    for (int signalNumber : std::as_const(mSignals))
        setHandler(signalNumber, onTerminationSignal);
}

TerminationSignals::~TerminationSignals()
{
    if (!mCatching)
        return;
    gCatchers.removeOne(this);
    for (int signalNumber : std::as_const(mSignals)) {
        const bool stillCaught = std::any_of(gCatchers.cbegin(), gCatchers.cend(),
                                             [signalNumber](const TerminationSignals* other) {
                                                 return other->mSignals.contains(signalNumber);
                                             });
        if (!stillCaught)
            setHandler(signalNumber, SIG_DFL);
    }
    if (gCatchers.isEmpty()) {
        delete gReader;
        gReader = nullptr;
    }
}

void TerminationSignals::dispatch()
{
    // A signal sent twice before the loop came round is one request.
    QList<int> arrived;
    char bytes[64];
    for (ssize_t got; (got = ::read(gPipe[0], bytes, sizeof bytes)) > 0;) {
        for (ssize_t i = 0; i < got; ++i) {
            const int signalNumber = static_cast<unsigned char>(bytes[i]);
            if (!arrived.contains(signalNumber))
                arrived.append(signalNumber);
        }
    }
    // A receiver may end, and so delete catchers, while it handles its signal.
    const QList<QPointer<TerminationSignals>> catchers(gCatchers.cbegin(), gCatchers.cend());
    for (int signalNumber : std::as_const(arrived)) {
        for (const QPointer<TerminationSignals>& catcher : std::as_const(catchers)) {
            if (catcher && catcher->mSignals.contains(signalNumber))
                emit catcher->received(signalNumber);
        }
    }
}
