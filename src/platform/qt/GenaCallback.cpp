#include "platform/qt/GenaCallback.h"

#include "platform/router/Gena.h"
#include "platform/router/HttpMessage.h"

#include <QTcpSocket>
#include <QTimer>

// One connection from the gateway and what it sent so far.
struct GenaCallback::Visit
{
    QTcpSocket* socket = nullptr;
    QTimer* timeLimit = nullptr; // the socket's, so that it goes when the socket goes
    QByteArray received;
    std::optional<gena::Notification> waiting;
    bool answered = false;
};

GenaCallback::GenaCallback(const QHostAddress& local, const QHostAddress& gateway, Judge judge, Heard heard,
                           QObject* parent)
    : QObject(parent), mGateway(gateway), mJudge(std::move(judge)), mHeard(std::move(heard))
{
    mServer.setMaxPendingConnections(kMaxConnections);
    if (!mServer.listen(local, 0)) {
        mProblem = mServer.errorString();
        return;
    }
    connect(&mServer, &QTcpServer::newConnection, this, &GenaCallback::accept);
}

GenaCallback::~GenaCallback()
{
    for (Visit* visit : std::as_const(mVisits)) {
        visit->socket->disconnect(this);
        visit->timeLimit->disconnect(this);
        delete visit->socket;
        delete visit;
    }
}

QByteArray GenaCallback::url() const
{
    return "http://" + mServer.serverAddress().toString().toLatin1() + ':' +
           QByteArray::number(mServer.serverPort()) + '/';
}

void GenaCallback::accept()
{
    while (QTcpSocket* socket = mServer.nextPendingConnection()) {
        if (socket->peerAddress() != mGateway || mVisits.size() >= kMaxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setReadBufferSize(gena::kMaxHead + gena::kMaxBody + 1);
        auto* visit = new Visit;
        visit->socket = socket;
        visit->timeLimit = new QTimer(socket);
        mVisits.append(visit);
        visit->timeLimit->setSingleShot(true);
        connect(visit->timeLimit, &QTimer::timeout, this, [this, visit] {
            // One held for a subscription that never came is another's.
            if (visit->waiting && !visit->answered)
                answer(visit, 412);
            else
                drop(visit);
        });
        connect(socket, &QTcpSocket::readyRead, this, [this, visit] { read(visit); });
        connect(socket, &QTcpSocket::disconnected, this, [this, visit] { drop(visit); });
        visit->timeLimit->start(kTimeLimitMs);
        read(visit);
    }
}

void GenaCallback::read(Visit* visit)
{
    if (visit->answered || visit->waiting) {
        visit->socket->readAll();
        return;
    }
    visit->received += visit->socket->read(gena::kMaxHead + gena::kMaxBody + 1 - visit->received.size());
    const HttpReading reading = HttpMessage::read(visit->received, gena::kMaxHead, gena::kMaxBody);
    if (reading.state == HttpReading::State::Invalid) {
        answer(visit, 400);
        return;
    }
    if (reading.state == HttpReading::State::Incomplete) {
        if (visit->received.size() > gena::kMaxHead + gena::kMaxBody)
            answer(visit, 400);
        return;
    }
    visit->waiting = gena::readNotification(reading.message);
    if (!visit->waiting) {
        answer(visit, 400);
        return;
    }
    judge(visit);
}

void GenaCallback::judge(Visit* visit)
{
    switch (mJudge(visit->waiting->sid)) {
    case Verdict::Wait:
        return;
    case Verdict::Refuse:
        answer(visit, 412);
        return;
    case Verdict::Accept: {
        const std::optional<QString> address = visit->waiting->externalAddress;
        answer(visit, 200); // which may end the visit
        mHeard(address);
        return;
    }
    }
}

void GenaCallback::judgeWaiting()
{
    for (Visit* visit : QList<Visit*>(mVisits)) {
        if (mVisits.contains(visit) && visit->waiting && !visit->answered)
            judge(visit);
    }
}

void GenaCallback::answer(Visit* visit, int status)
{
    visit->answered = true;
    visit->socket->write(gena::answer(status));
    // The answer goes out before the connection closes; the time limit ends one that lingers.
    // Closing may end the visit at once.
    visit->timeLimit->start(kTimeLimitMs);
    visit->socket->disconnectFromHost();
}

void GenaCallback::drop(Visit* visit)
{
    if (!mVisits.removeOne(visit))
        return;
    // Either may be the sender of the call that got here: they go later.
    visit->socket->disconnect(this);
    visit->timeLimit->disconnect(this);
    visit->timeLimit->stop();
    visit->socket->abort();
    visit->socket->deleteLater();
    delete visit;
}
