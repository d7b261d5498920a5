#include "UpdateServer.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>

namespace {
constexpr qsizetype kMaxLine = 64 * 1024;
}

// One client's conversation: the lines it has sent so far decide what it may send next.
class UpdateServer::Session : public QObject
{
public:
    Session(UpdateServer& server, QTcpSocket* socket) : QObject(socket), mServer(server), mSocket(socket)
    {
        connect(socket, &QTcpSocket::readyRead, this, [this] { readLines(); });
        connect(socket, &QTcpSocket::disconnected, this, [this] {
            mServer.sessionEnded();
            mSocket->deleteLater();
        });
        reply("OK", mServer.mGreeting);
    }

private:
    enum class Expect { Ver, User, Pass, Host, Oper, Ip, Done, Closed };

    void reply(const char* word, const QString& text)
    {
        QByteArray line(word);
        if (!text.isEmpty())
            line += ' ' + text.toLatin1();
        mSocket->write(line + "\r\n");
    }

    void refuse(const QString& reason)
    {
        reply("ERR", reason);
        sayGoodbye();
    }

    void sayGoodbye()
    {
        reply("BYE", QStringLiteral("Goodbye"));
        mExpect = Expect::Closed;
        mSocket->disconnectFromHost();
    }

    void readLines()
    {
        const QByteArray bytes = mSocket->readAll();
        mServer.mReceived += bytes;
        mPending += bytes;
        qsizetype end;
        while (mExpect != Expect::Closed && (end = mPending.indexOf('\n')) >= 0) {
            QByteArray line = mPending.left(end);
            mPending.remove(0, end + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            handle(QString::fromLatin1(line));
        }
        if (mPending.size() > kMaxLine)
            mSocket->abort();
    }

    void handle(const QString& line)
    {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        const QString command = (blank < 0 ? line : line.left(blank)).toUpper();
        const QString argument = blank < 0 ? QString() : line.mid(blank + 1);

        if (mExpect == Expect::Ver && command == QLatin1String("VER")) {
            next(Expect::User, QStringLiteral("Version accepted"));
        } else if (mExpect == Expect::User && command == QLatin1String("USER")) {
            mUpdate.user = argument;
            next(Expect::Pass, QStringLiteral("Send your password"));
        } else if (mExpect == Expect::Pass && command == QLatin1String("PASS")) {
            mAccount = mServer.findAccount(mUpdate.user);
            if (!mAccount || mAccount->password != argument)
                refuse(QStringLiteral("Wrong user name or password"));
            else
                next(Expect::Host, QStringLiteral("Logged in"));
        } else if (mExpect == Expect::Host && command == QLatin1String("HOST")) {
            if (!mAccount->hosts.contains(argument, Qt::CaseInsensitive)) {
                refuse(QStringLiteral("Unknown host ") + argument);
            } else {
                mUpdate.host = argument;
                next(Expect::Oper, QStringLiteral("Host accepted"));
            }
        } else if (mExpect == Expect::Oper && command == QLatin1String("OPER")) {
            if (argument == QLatin1String("update") || argument == QLatin1String("delete")) {
                mUpdate.operation = argument;
                next(argument == QLatin1String("update") ? Expect::Ip : Expect::Done,
                     QStringLiteral("Operation accepted"));
            } else {
                reply("ERR", QStringLiteral("Unknown operation ") + argument);
            }
        } else if (mExpect == Expect::Ip && command == QLatin1String("IP")) {
            QHostAddress address;
            // An IPv6 address is taken as a provider takes it for an AAAA record; a scoped one
            // (fe80::1%eth0) names nothing outside this machine's link.
            if (!address.setAddress(argument) || !address.scopeId().isEmpty()) {
                refuse(QStringLiteral("Not an IP address: ") + argument);
            } else {
                mUpdate.address = argument;
                next(Expect::Done, QStringLiteral("Address accepted"));
            }
        } else if (mExpect == Expect::Done && command == QLatin1String("DONE")) {
            mServer.record(mUpdate);
            sayGoodbye();
        } else {
            reply("ERR", QStringLiteral("Unexpected command ") + command);
        }
    }

    void next(Expect expect, const QString& text)
    {
        mExpect = expect;
        reply("OK", text);
    }

    UpdateServer& mServer;
    QTcpSocket* mSocket;
    QByteArray mPending;
    Expect mExpect = Expect::Ver;
    const Account* mAccount = nullptr;
    Update mUpdate;
};

UpdateServer::UpdateServer(QObject* parent) : QObject(parent), mServer(new QTcpServer(this))
{
    connect(mServer, &QTcpServer::newConnection, this, &UpdateServer::acceptClients);
}

UpdateServer::~UpdateServer() = default;

bool UpdateServer::loadAccounts(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).section(QLatin1Char('#'), 0, 0).trimmed();
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.isEmpty())
            continue;
        if (fields.size() < 3) {
            if (error)
                *error = QStringLiteral("expected \"user password host...\": ") + line;
            return false;
        }
        addAccount(Account{fields[0], fields[1], fields.mid(2)});
    }
    return true;
}

bool UpdateServer::listen(const QHostAddress& address, quint16 port)
{
    return mServer->listen(address, port);
}

quint16 UpdateServer::port() const
{
    return mServer->serverPort();
}

QString UpdateServer::errorString() const
{
    return mServer->errorString();
}

void UpdateServer::acceptClients()
{
    while (QTcpSocket* socket = mServer->nextPendingConnection())
        new Session(*this, socket);
}

const UpdateServer::Account* UpdateServer::findAccount(const QString& user) const
{
    for (const Account& account : mAccounts) {
        if (account.user == user)
            return &account;
    }
    return nullptr;
}

void UpdateServer::record(const Update& update)
{
    mAccepted.append(update);
    emit updateAccepted(update);
}

void UpdateServer::sessionEnded()
{
    ++mEnded;
    emit conversationEnded();
}
