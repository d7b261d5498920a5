#include "oneshot/OneShotRun.h"

#include "app/Provider.h"
#include "platform/ISocket.h"
#include "platform/IWindowing.h"
#include "settings/CSettings.h"
#include "update/ConversationControl.h"
#include "update/UpdateConversation.h"

#include <QEventLoop>

OneShotRun::OneShotRun(ISocket& socket, ISettingsStore& store, IWindowing& windowing, QString settingsFile,
                       std::FILE* out, std::FILE* err)
    : mSocket(socket), mStore(store), mWindowing(windowing), mSettingsFile(std::move(settingsFile)),
      mOut(out), mErr(err)
{
}

bool OneShotRun::loadSettings()
{
    gSettings.create(mStore, mWindowing);
    for (const CSettings::LoadFailure& unreadable : gSettings->loadFailures()) {
        print(mErr, QStringLiteral("corvane-dyndns: the setting ") + unreadable.key + QStringLiteral(" in ") +
                        mSettingsFile + QStringLiteral(" cannot be read: ") + unreadable.failure.description);
    }
    if (gSettings->loadFailures().empty())
        return true;
    gSettings.discard();
    return false;
}

OneShotRun::Status OneShotRun::run(const QString& operation, bool quiet)
{
    mQuiet = quiet;
    if (!loadSettings())
        return UnreadableSettings;

    UpdateConversation conversation(mSocket, *this, mWindowing);
    ConversationControl control(mSocket, conversation, *this, mWindowing);
    mSocket.setListener(&control);
    QEventLoop loop;
    mLoop = &loop;
    mWindowing.setEndRequestHandler([&] {
        // Interrupted: the conversation is cut off and counts as none.
        control.cutOff();
        mEnded = true;
        loop.quit();
    });
    if (operation == QLatin1String("update"))
        control.mnuFileUpdateIP_Click();
    else
        control.mnuFileGoOffline_Click();
    if (!mEnded && conversation.isRunning())
        loop.exec();
    mLoop = nullptr;
    mWindowing.setEndRequestHandler({});
    mSocket.setListener(nullptr);
    gSettings.discard();

    if (!mResult.accepted.isEmpty())
        return Accepted;
    if (!mResult.refused.isEmpty())
        return Refused;
    return NoConversation;
}

OneShotRun::Status OneShotRun::printSettings()
{
    if (!loadSettings())
        return UnreadableSettings;
    const CSettings& settings = *gSettings;
    const QString lines[] = {
        QStringLiteral("Settings file: ") + mSettingsFile,
        QStringLiteral("Server: ") + settings.Server(),
        QStringLiteral("Port: ") + QString::number(settings.Port()),
        QStringLiteral("User name: ") + settings.Username(),
        QStringLiteral("Password: ") +
            (settings.Password().isEmpty() ? QStringLiteral("empty") : QStringLiteral("set")),
        QStringLiteral("Host: ") + settings.SubDomain() + provider::kDomainSuffix,
        QStringLiteral("Address posted: ") + (settings.CurrentIP()
                                                  ? QStringLiteral("this machine's address on the connection")
                                                  : settings.OtherIP()),
    };
    for (const QString& line : lines)
        print(mOut, line);
    gSettings.discard();
    return Accepted;
}

void OneShotRun::AppendLog(const QString& text)
{
    const bool error = QStringView(text)
                           .sliced(qMax<qsizetype>(0, text.indexOf(QStringLiteral(" - "))))
                           .startsWith(QStringLiteral(" - Error: "));
    if (error)
        print(mErr, text);
    else if (!mQuiet)
        print(mOut, text);
}

bool OneShotRun::conversationEnded(const ConversationResult& result)
{
    mResult = result;
    mEnded = true;
    if (mLoop)
        mLoop->quit();
    return false;
}

void OneShotRun::print(std::FILE* stream, const QString& line)
{
    std::fprintf(stream, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stream);
}
