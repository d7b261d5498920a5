#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTcpServer>

#include <functional>
#include <optional>

class QTcpSocket;

// The address the router sends its event notifications to: a port of our own on the address
// that faces the gateway. Anyone on the network can connect to it, so it takes connections from
// the gateway's address alone, reads each request within sizes and a time, answers 200 only to
// a notification of the current subscription (412 to one of another, 400 to anything else) and
// closes.
class GenaCallback : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeLimitMs = 3000;
    // More at once is no router's doing.
    static constexpr int kMaxConnections = 8;

    enum class Verdict {
        Accept, // the current subscription's
        Refuse, // another's
        Wait    // unknown yet: a subscription's answer is on its way (judged again by judgeWaiting)
    };
    using Judge = std::function<Verdict(const QByteArray& sid)>;
    // An accepted notification: the outside address it names, when it names one.
    using Heard = std::function<void(const std::optional<QString>& externalAddress)>;

    GenaCallback(const QHostAddress& local, const QHostAddress& gateway, Judge judge, Heard heard,
                 QObject* parent = nullptr);
    ~GenaCallback() override;

    // Why no notification can arrive (the address cannot be listened on), or empty.
    QString problem() const { return mProblem; }
    // What the subscription names as its callback.
    QByteArray url() const;
    // Judges again the notifications held for a subscription's answer.
    void judgeWaiting();

private:
    struct Visit;

    void accept();
    void read(Visit* visit);
    void judge(Visit* visit);
    void answer(Visit* visit, int status);
    void drop(Visit* visit);

    QHostAddress mGateway;
    Judge mJudge;
    Heard mHeard;
    QTcpServer mServer;
    QString mProblem;
    QList<Visit*> mVisits;
};
