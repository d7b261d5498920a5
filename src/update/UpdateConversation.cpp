#include "update/UpdateConversation.h"

#include "app/Identity.h"
#include "app/Provider.h"
#include "app/VisibleText.h"
#include "platform/ISocket.h"
#include "platform/Trap.h"
#include "settings/CSettings.h"
#include "update/ActivityLog.h"
#include "update/basMisc.h"

#include <QStringList>

#include <utility>

namespace {
// Arriving data is read and cut into lines a piece at a time, so a flood of replies never
// sits in memory twice over.
constexpr qint64 kReadPiece = 64 * 1024;
const QString kOverlongLine = QStringLiteral("The server sent a line longer than 65536 characters");
// Enough of a line that is not a reply to tell what it was.
constexpr qsizetype kQuoted = 80;

QString quoted(const QString& text)
{
    const bool cut = text.size() > kQuoted;
    QString shown = text.left(kQuoted);
    if (cut && shown.back().isHighSurrogate())
        shown.chop(1);
    return QLatin1Char('"') + VisibleText::escaped(shown) +
           (cut ? QStringLiteral("\u2026\"") : QStringLiteral("\""));
}
} // namespace

UpdateConversation::UpdateConversation(ISocket& socket, ConversationHost& host, IWindowing& windowing)
    : mSocket(socket), mHost(host), mWindowing(windowing)
{
}

QString UpdateConversation::operationWord(Operation operation)
{
    return operation == Operation::Update ? QStringLiteral("update") : QStringLiteral("delete");
}

void UpdateConversation::start(Operation operation)
{
    mOperation = operation;
    mReceiveBuffer.clear();
    mStep = 0;
    mRepliesWithoutProgress = 0;
    mLinesWithoutReplyWord = 0;
    mLastLineWithoutReplyWord.clear();
    mResult = ConversationResult();
    mResult.operation = operation;
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
    mResult.lastReply = line;
    // An empty line, or one of blanks only, carries no reply word: it moves nothing forward.
    QString replyText = line;
    const QString word = basMisc::GetCommand(replyText).toUpper();
    const bool replyWord =
        word == QLatin1String("OK") || word == QLatin1String("BYE") || word == QLatin1String("ERR");
    if (replyWord) {
        mLinesWithoutReplyWord = 0;
    } else {
        ++mLinesWithoutReplyWord;
        mLastLineWithoutReplyWord = line;
    }
    if (word == QLatin1String("OK")) {
        if (mStep < kMaxStep)
            ++mStep;
        const bool progress = mStep <= lastStep();
        actOnStep(replyText);
        if (!mRunning)
            return false;
        if (progress) {
            mRepliesWithoutProgress = 0;
            return true;
        }
    } else if (word == QLatin1String("BYE")) {
        finish(true);
        return false;
    } else if (word == QLatin1String("ERR")) {
        mResult.refused = QStringLiteral(" - Error: ") + replyText + QLatin1Char('.');
        mHost.AppendError(ActivityLog::stamped(mResult.refused));
    }
    if (++mRepliesWithoutProgress > kMaxRepliesWithoutProgress) {
        endAfterError(QStringLiteral("The server sent more than ") +
                      QString::number(kMaxRepliesWithoutProgress) +
                      QStringLiteral(" replies without progress"));
        return false;
    }
    return true;
}

void UpdateConversation::handleServerClose()
{
    readAndHandle();
    if (!mRunning)
        return;
    // The server's last words, when it did not end them with a line break. A "BYE" or an
    // "ERR" among them still counts; an "OK" asks for a line that has nowhere to go.
    const QString tail = basMisc::trimBlanks(mReceiveBuffer.takeRest());
    if (tail.size() > ReceiveBuffer::kMaxLine) {
        endAfterError(kOverlongLine);
        return;
    }
    QString replyText = tail;
    const QString word = basMisc::GetCommand(replyText).toUpper();
    if ((word == QLatin1String("BYE") || word == QLatin1String("ERR")) && !handleLine(tail))
        return;
    endAfterError(QStringLiteral("The remote host closed the connection"));
}

int UpdateConversation::lastStep() const
{
    return mOperation == Operation::Update ? 7 : 6;
}

void UpdateConversation::actOnStep(const QString& replyText)
{
    const bool update = mOperation == Operation::Update;
    switch (mStep) {
    case 1:
        log(QStringLiteral(" - Server: ") + replyText);
        log(QStringLiteral(" - Logging In..."));
        SendSocketData(QStringLiteral("VER 1.0 [") + mWindowing.title() + QStringLiteral(" v") +
                       QString::number(mWindowing.versionMajor()) + QLatin1Char('.') +
                       QString::number(mWindowing.versionMinor()) + QLatin1Char(']'));
        break;
    case 2:
        sendWithValue(QStringLiteral("USER "), gSettings->Username(), QStringLiteral("user name"));
        break;
    case 3:
        sendWithValue(QStringLiteral("PASS "), gSettings->Password(), QStringLiteral("password"));
        break;
    case 4:
        mResult.host = hostName();
        if (update) {
            const QString address = postedAddress();
            if (const QString refusal = mHost.addressRefusal(address); !refusal.isEmpty()) {
                endAfterError(refusal);
                return;
            }
            mResult.address = address;
            log(QStringLiteral(" - Sending new host IP (") + mResult.address + QStringLiteral(")..."));
        } else {
            log(QStringLiteral(" - Sending host offline..."));
        }
        sendWithValue(QStringLiteral("HOST "), mResult.host, QStringLiteral("host name"));
        break;
    case 5:
        SendSocketData(QStringLiteral("OPER ") + operationWord(mOperation));
        break;
    case 6:
        if (update) {
            sendWithValue(QStringLiteral("IP "), postedAddress(), QStringLiteral("address"));
        } else {
            mResult.accepted = QStringLiteral(" - ") + hostName() + QStringLiteral(" offline.");
            log(mResult.accepted);
            SendSocketData(QStringLiteral("DONE"));
            mHost.stepAccepted(mResult);
        }
        break;
    case 7:
        if (update) {
            mResult.accepted = QStringLiteral(" - ") + hostName() + QStringLiteral(" updated.");
            log(mResult.accepted);
            SendSocketData(QStringLiteral("DONE"));
            mHost.stepAccepted(mResult);
        }
        break;
    default:
        break;
    }
}

void UpdateConversation::sendWithValue(const QString& command, const QString& value, const QString& valueName)
{
    // A line break inside a value would end the line early and slip what follows it to the
    // server as a line of its own.
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n'))) {
        endAfterError(QStringLiteral("The ") + valueName +
                      QStringLiteral(" contains a line break and cannot be sent"));
        return;
    }
    SendSocketData(command + value);
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

void UpdateConversation::log(const QString& message)
{
    mHost.AppendLog(ActivityLog::stamped(message));
}

void UpdateConversation::endAfterError(const QString& description)
{
    if (!mRunning)
        return;
    mResult.error = QStringLiteral(" - Error: ") + description + QLatin1Char('.');
    mHost.AppendError(ActivityLog::stamped(mResult.error));
    finish(false);
}

void UpdateConversation::cutOff(const QString& reason)
{
    const bool wasRunning = std::exchange(mRunning, false);
    mReceiveBuffer.clear();
    mSocket.close();
    if (!wasRunning || reason.isEmpty())
        return;
    mResult.error = QStringLiteral(" - Error: The conversation was cut off: ") + reason + QLatin1Char('.');
    if (mResult.host.isEmpty() && gSettings)
        mResult.host = hostName();
    mHost.conversationCutOff(mResult);
}

QString UpdateConversation::unrepliedText() const
{
    const QString open = mReceiveBuffer.peek(kQuoted + 1);
    QStringList parts;
    if (mLinesWithoutReplyWord == 1)
        parts.append(QStringLiteral("a line that is not a reply, ") + quoted(mLastLineWithoutReplyWord));
    else if (mLinesWithoutReplyWord > 1)
        parts.append(QString::number(mLinesWithoutReplyWord) +
                     QStringLiteral(" lines that are not replies, the last ") +
                     quoted(mLastLineWithoutReplyWord));
    if (!open.isEmpty())
        parts.append(QStringLiteral("the start of a line it never ended, ") + quoted(open));
    return parts.join(QStringLiteral(", and "));
}

void UpdateConversation::finish(bool afterBye)
{
    // Whatever comes later (a close after "BYE", a time-out) finds nothing left to end.
    if (!mRunning)
        return;
    mRunning = false;
    log(QStringLiteral(" - Disconnected."));
    // Nothing that arrived with or after the end belongs to any conversation.
    mReceiveBuffer.clear();
    mSocket.close();
    mResult.endedByBye = afterBye;
    // A conversation that broke off early still names the host it was for.
    if (mResult.host.isEmpty() && gSettings)
        mResult.host = hostName();
    if (!mHost.conversationEnded(mResult))
        return;
    mHost.EnableMenus(true);
    mHost.setTrayTip(identity::kTitle);
    mStep = 0;
    if (mFinished)
        mFinished();
}
