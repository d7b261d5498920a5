#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

// The server side of the update protocol, for tests and demonstrations. It greets each
// client with "OK", answers every correct line with "OK", refuses a wrong password or an
// unknown host with "ERR" and a reason (then says "BYE"), and ends on "DONE" with "BYE".
class UpdateServer : public QObject
{
    Q_OBJECT
public:
    struct Account
    {
        QString user;
        QString password;
        QStringList hosts; // full host names
    };

    struct Update
    {
        QString user;
        QString host;
        QString operation; // "update" or "delete"
        QString address;   // empty when going offline
    };

    explicit UpdateServer(QObject* parent = nullptr);
    ~UpdateServer() override;

    void addAccount(const Account& account) { mAccounts.append(account); }
    // Reads accounts from lines "user password host [host...]"; '#' starts a comment.
    bool loadAccounts(const QString& path, QString* error);
    void setGreeting(const QString& greeting) { mGreeting = greeting; }

    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    QString errorString() const;

    // Everything clients have sent, byte for byte, across all connections.
    QByteArray received() const { return mReceived; }
    const QList<Update>& accepted() const { return mAccepted; }
    int conversationsEnded() const { return mEnded; }

signals:
    void updateAccepted(const UpdateServer::Update& update);
    void conversationEnded();

private:
    class Session;
    friend class Session;

    void acceptClients();
    const Account* findAccount(const QString& user) const;
    void record(const Update& update);
    void sessionEnded();

    QTcpServer* mServer;
    QList<Account> mAccounts;
    QString mGreeting = QStringLiteral("Corvane reference update server ready");
    QByteArray mReceived;
    QList<Update> mAccepted;
    int mEnded = 0;
};
