#include "update/UpdateConversation.h"

#include "Provider.h"
#include "platform/ISocket.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "ui/CommandLine.h"
#include "update/ActivityLog.h"
#include "update/ConversationHost.h"
#include "update/basMisc.h"

namespace {
const QString kUpdate = QStringLiteral("update");
const QString kIdleTip = QStringLiteral("Corvane DynDNS");
// Arriving data is read and cut into lines a piece at a time, so a flood of replies never
// sits in memory twice over.
constexpr qint64 kReadPiece = 64 * 1024;
const QString kOverlongLine = QStringLiteral("The server sent a line longer than 65536 characters");
} // namespace

UpdateConversation::UpdateConversation(ISocket& socket, ConversationHost& host, IWindowing& windowing)
    : mSocket(socket), mHost(host), mWindowing(windowing)
{
}

void UpdateConversation::start(const QString& operation)
{
    mOperation = operation;
    mReceiveBuffer.clear();
    mStep = 0;
    mRunning = true;
}

QString UpdateConversation::GetSocketData()
{
    QString data;
    trap(mWindowing, "GetSocketData", [&] { data = mSocket.getData(kReadPiece); });
    return data;
}

void UpdateConversation::SendSocketData(const QString& text)
{
    trap(mWindowing, "SendSocketData", [&] { mSocket.sendData(text + QLatin1Char('\n')); });
}

void UpdateConversation::sckClient_DataArrival(qint64 /*bytesTotal*/)
{
    trap(mWindowing, "sckClient_DataArrival", [&] { readAndHandle(); });
}

void UpdateConversation::readAndHandle()
{
    while (mRunning) {
        const QString piece = GetSocketData();
        if (piece.isEmpty())
            break;
        mReceiveBuffer.append(piece);
        handleLines();
    }
}

void UpdateConversation::handleLines()
{
    while (mRunning) {
        const std::optional<QString> line = basMisc::TopLine(mReceiveBuffer);
        if (!line)
            break;
        if (line->size() > ReceiveBuffer::kMaxLine) {
            endAfterError(kOverlongLine);
            return;
        }
        if (!handleLine(*line))
            return;
    }
    // A server that never ends its line must not make the buffer grow without bound.
    if (mRunning && mReceiveBuffer.heldSize() > ReceiveBuffer::kMaxLine)
        endAfterError(kOverlongLine);
}

bool UpdateConversation::handleLine(const QString& line)
{
    // An empty line, or one of blanks only, carries nothing; the lines behind it still count.
    if (line.isEmpty())
        return true;
    QString replyText = line;
    const QString word = basMisc::GetCommand(replyText).toUpper();
    if (word == QLatin1String("OK")) {
        if (mStep < kMaxStep)
            ++mStep;
        actOnStep(replyText);
    } else if (word == QLatin1String("BYE")) {
        finish(true);
        return false;
    } else if (word == QLatin1String("ERR")) {
        mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Error: ") + replyText + QLatin1Char('.')));
    }
    return true;
}

void UpdateConversation::handleServerClose()
{
    readAndHandle();
    if (!mRunning)
        return;
    const QString tail = basMisc::trimBlanks(mReceiveBuffer.takeRest());
    if (tail.size() > ReceiveBuffer::kMaxLine) {
        endAfterError(kOverlongLine);
        return;
    }
    if (!handleLine(tail))
        return;
    endAfterError(QStringLiteral("The remote host closed the connection"));
}

void UpdateConversation::actOnStep(const QString& replyText)
{
    const bool update = mOperation == kUpdate;
    switch (mStep) {
    case 1:
        mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Server: ") + replyText));
        mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Logging In...")));
        SendSocketData(QStringLiteral("VER 1.0 [") + mWindowing.title() + QStringLiteral(" v") +
                       QString::number(mWindowing.versionMajor()) + QLatin1Char('.') +
                       QString::number(mWindowing.versionMinor()) + QLatin1Char(']'));
        break;
    case 2:
        SendSocketData(QStringLiteral("USER ") + gSettings->Username());
        break;
    case 3:
        SendSocketData(QStringLiteral("PASS ") + gSettings->Password());
        break;
    case 4:
        if (update)
            mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Sending new host IP (") +
                                                 postedAddress() + QStringLiteral(")...")));
        else
            mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Sending host offline...")));
        SendSocketData(QStringLiteral("HOST ") + hostName());
        break;
    case 5:
        SendSocketData(QStringLiteral("OPER ") + mOperation);
        break;
    case 6:
        if (update) {
            SendSocketData(QStringLiteral("IP ") + postedAddress());
        } else {
            mHost.AppendLog(
                ActivityLog::stamped(QStringLiteral(" - ") + hostName() + QStringLiteral(" offline.")));
            SendSocketData(QStringLiteral("DONE"));
        }
        break;
    case 7:
        if (update) {
            mHost.AppendLog(
                ActivityLog::stamped(QStringLiteral(" - ") + hostName() + QStringLiteral(" updated.")));
            SendSocketData(QStringLiteral("DONE"));
        }
        break;
    default:
        break;
    }
}

QString UpdateConversation::postedAddress() const
{
    if (gSettings->CurrentIP())
        return mSocket.localIP();
    return gSettings->OtherIP();
}

QString UpdateConversation::hostName() const
{
    return gSettings->SubDomain() + provider::kDomainSuffix;
}

void UpdateConversation::endAfterError(const QString& description)
{
    mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Error: ") + description + QLatin1Char('.')));
    finish(false);
}

void UpdateConversation::finish(bool afterBye)
{
    mHost.AppendLog(ActivityLog::stamped(QStringLiteral(" - Disconnected.")));
    mRunning = false;
    // Nothing that arrived with or after the end belongs to any conversation.
    mReceiveBuffer.clear();
    mSocket.close();
    if (afterBye && CommandLine::wantsClose(mWindowing.commandLine())) {
        mHost.endProgram();
        return;
    }
    mHost.EnableMenus(true);
    mHost.setTrayTip(kIdleTip);
    mStep = 0;
    if (mFinished)
        mFinished();
}
