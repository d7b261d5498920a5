#include "update/UpdateConversation.h"

#include "address/PostableAddress.h"
#include "app/VisibleText.h"
#include "platform/ISocket.h"
#include "platform/IWindowing.h"
#include "platform/Trap.h"
#include "update/basMisc.h"

#include <QHostAddress>
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

void UpdateConversation::start(const UpdateRequest& request)
{
    mRequest = request;
    mReceiveBuffer.clear();
    mStep = 0;
    mRepliesWithoutProgress = 0;
    mLinesWithoutReplyWord = 0;
    mLastLineWithoutReplyWord.clear();
    mResult = {};
    mResult.operation = request.operation;
    mResult.host = request.host;
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
        if (line->size() > ReceiveBuffer::kMaxLine)
            endAfterError(kOverlongLine);
        else
            handleLine(*line);
    }
    // A server that never ends its line must not make the buffer grow without bound.
    if (mRunning && mReceiveBuffer.heldSize() > ReceiveBuffer::kMaxLine)
        endAfterError(kOverlongLine);
}

void UpdateConversation::handleLine(const QString& line)
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
        // The last step is the one that sends "DONE".
        const bool progress = mStep <= (mRequest.operation == Operation::Update ? 7 : 6);
        actOnStep(replyText);
        if (progress) {
            mRepliesWithoutProgress = 0;
            return;
        }
    } else if (word == QLatin1String("BYE")) {
        return finish(true);
    } else if (word == QLatin1String("ERR")) {
        mResult.refusal = replyText;
        if (mResult.outcome != ConversationResult::Outcome::Accepted)
            mResult.outcome = ConversationResult::Outcome::Refused;
        logError(replyText);
    }
    if (++mRepliesWithoutProgress > kMaxRepliesWithoutProgress)
        endAfterError(QStringLiteral("The server sent more than ") +
                      QString::number(kMaxRepliesWithoutProgress) +
                      QStringLiteral(" replies without progress"));
}

void UpdateConversation::handleServerClose()
{
    readAndHandle();
    if (!mRunning)
        return;
    // The server's last words, when it did not end them with a line break. A "BYE" or an
    // "ERR" among them still counts; an "OK" asks for a line that has nowhere to go.
    const QString tail = basMisc::trimBlanks(mReceiveBuffer.takeRest());
    if (tail.size() > ReceiveBuffer::kMaxLine)
        return endAfterError(kOverlongLine);
    QString replyText = tail;
    const QString word = basMisc::GetCommand(replyText).toUpper();
    if (word == QLatin1String("BYE") || word == QLatin1String("ERR"))
        handleLine(tail);
    endAfterError(QStringLiteral("The remote host closed the connection"));
}

void UpdateConversation::actOnStep(const QString& replyText)
{
    const bool update = mRequest.operation == Operation::Update;
    switch (mStep) {
    case 1:
        log(QStringLiteral("Server: ") + replyText);
        log(QStringLiteral("Logging In..."));
        SendSocketData(QStringLiteral("VER 1.0 [") + mWindowing.title() + QStringLiteral(" v") +
                       QString::number(mWindowing.versionMajor()) + QLatin1Char('.') +
                       QString::number(mWindowing.versionMinor()) + QLatin1Char(']'));
        break;
    case 2:
        sendWithValue(QStringLiteral("USER "), mRequest.user, QStringLiteral("user name"));
        break;
    case 3:
        sendWithValue(QStringLiteral("PASS "), mRequest.password, QStringLiteral("password"));
        break;
    case 4:
        if (update) {
            QString refusal;
            const QString address = postedAddress(refusal);
            if (!refusal.isEmpty())
                return endAfterError(refusal);
            mResult.address = address;
            log(QStringLiteral("Sending new host IP (") + address + QStringLiteral(")..."));
        } else {
            log(QStringLiteral("Sending host offline..."));
        }
        sendWithValue(QStringLiteral("HOST "), mRequest.host, QStringLiteral("host name"));
        break;
    case 5:
        SendSocketData(QStringLiteral("OPER ") + wordOf(kOperationWords, mRequest.operation));
        break;
    case 6:
        if (update)
            sendWithValue(QStringLiteral("IP "), mResult.address, QStringLiteral("address"));
        else
            accept();
        break;
    case 7:
        if (update)
            accept();
        break;
    default:
        break;
    }
}

void UpdateConversation::accept()
{
    mResult.outcome = ConversationResult::Outcome::Accepted;
    log(ConversationText::accepted(mRequest.operation, mRequest.host));
    SendSocketData(QStringLiteral("DONE"));
    mHost.stepAccepted(mResult);
}

void UpdateConversation::sendWithValue(const QString& command, const QString& value, const QString& valueName)
{
    // A line break inside a value would end the line early and slip what follows it to the
    // server as a line of its own.
    if (value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char('\n')))
        return endAfterError(QStringLiteral("The ") + valueName +
                             QStringLiteral(" contains a line break and cannot be sent"));
    SendSocketData(command + value);
}

QString UpdateConversation::postedAddress(QString& refusal) const
{
    if (mRequest.address)
        return *mRequest.address;
    const QString address = mSocket.localIP();
    const QString expected = mRequest.expectedAddress;
    if (expected.isEmpty())
        return address;
    const PostableAddress postable = PostableAddress::of(address);
    if (postable.kind == PostableAddress::Kind::Unusable)
        refusal = QStringLiteral("The connection went out from ") + address + QStringLiteral(", which is ") +
                  postable.why + QStringLiteral("; it is not posted");
    else if (!QHostAddress(address).isEqual(QHostAddress(expected), QHostAddress::ConvertV4MappedToIPv4))
        refusal = QStringLiteral("The connection went out from ") + address + QStringLiteral(", not from ") +
                  expected + QStringLiteral(" that was checked; neither is posted");
    return address;
}

void UpdateConversation::endAfterError(const QString& description)
{
    if (!mRunning)
        return;
    mResult.failure = description;
    logError(description);
    finish(false);
}

void UpdateConversation::cutOff(const QString& reason)
{
    const bool wasRunning = std::exchange(mRunning, false);
    mReceiveBuffer.clear();
    mSocket.close();
    if (!wasRunning || reason.isEmpty())
        return;
    mResult.failure = QStringLiteral("The conversation was cut off: ") + reason;
    if (mResult.outcome == ConversationResult::Outcome::NoConversation)
        mResult.outcome = ConversationResult::Outcome::EndedByProgram;
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
    log(QStringLiteral("Disconnected."));
    // Nothing that arrived with or after the end belongs to any conversation.
    mReceiveBuffer.clear();
    mSocket.close();
    mResult.endedByBye = afterBye;
    if (!mHost.conversationEnded(mResult))
        return;
    mStep = 0;
    if (mFinished)
        mFinished();
}
