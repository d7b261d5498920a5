// corvane-update-server: the server side of the update protocol, for tests and demonstrations.

#include "UpdateServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <csignal>
#include <cstdlib>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("corvane-update-server"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reference update server for Corvane DynDNS."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("TCP port; 0 picks a free one."),
                                        QStringLiteral("port"), QStringLiteral("2345"));
    const QCommandLineOption listenOption(QStringLiteral("listen"), QStringLiteral("Address to listen on."),
                                          QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption accountOption(
        QStringLiteral("account"), QStringLiteral("An account: user:password:host[,host...] (repeatable)."),
        QStringLiteral("account"));
    const QCommandLineOption accountsOption(QStringLiteral("accounts"),
                                            QStringLiteral("A file of lines \"user password host...\"."),
                                            QStringLiteral("file"));
    const QCommandLineOption greetingOption(QStringLiteral("greeting"),
                                            QStringLiteral("Text of the greeting."), QStringLiteral("text"));
    parser.addOptions({portOption, listenOption, accountOption, accountsOption, greetingOption});
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    UpdateServer server;

    for (const QString& userPasswordHosts : parser.values(accountOption)) {
        const QStringList fields = userPasswordHosts.split(QLatin1Char(':'));
        if (fields.size() != 3) {
            err << "corvane-update-server: --account wants user:password:host[,host...], not "
                << userPasswordHosts << "\n";
            return 2;
        }
        server.addAccount({fields[0], fields[1], fields[2].split(QLatin1Char(','), Qt::SkipEmptyParts)});
    }
    if (parser.isSet(accountsOption)) {
        QString error;
        if (!server.loadAccounts(parser.value(accountsOption), &error)) {
            err << "corvane-update-server: " << parser.value(accountsOption) << ": " << error << "\n";
            return 2;
        }
    }
    if (parser.isSet(greetingOption))
        server.setGreeting(parser.value(greetingOption));

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    QHostAddress address;
    if (!portOk || port > 65535 || !address.setAddress(parser.value(listenOption))) {
        err << "corvane-update-server: bad --port or --listen\n";
        return 2;
    }
    if (!server.listen(address, static_cast<quint16>(port))) {
        err << "corvane-update-server: cannot listen: " << server.errorString() << "\n";
        return 1;
    }

    QObject::connect(
        &server, &UpdateServer::updateAccepted, &app, [&out](const UpdateServer::Update& update) {
            if (update.operation == QLatin1String("update"))
                out << "update " << update.host << " " << update.address << " (user " << update.user << ")\n";
            else
                out << "offline " << update.host << " (user " << update.user << ")\n";
            out.flush();
        });

    out << "listening on " << address.toString() << ":" << server.port() << "\n";
    out.flush();

    // Nothing to save: a termination signal ends the server at once.
    std::signal(SIGTERM, [](int) { std::_Exit(0); });
    std::signal(SIGINT, [](int) { std::_Exit(0); });
    return QCoreApplication::exec();
}
