#include "FakeSocket.h"

#include "platform/Failure.h"

#include <algorithm>

namespace {
const QString kSource = QStringLiteral("FakeSocket");
}

void FakeSocket::connectToHost(const QString& host, qint32 port)
{
    ++connectRequests;
    if (mState != State::Closed)
        throw Failure(failures::kSocketNotClosed, QStringLiteral("The socket still has a connection"),
                      kSource);
    connectedHost = host;
    connectedPort = port;
    mState = State::Connecting;
    if (onConnectRequest)
        onConnectRequest();
}

void FakeSocket::sendData(const QString& text)
{
    if (mState != State::Connected || failSends)
        throw Failure(failures::kSocketNotConnected, QStringLiteral("The socket is not connected"), kSource);
    sent.append(text.toLatin1());
}

QString FakeSocket::getData(qint64 maxBytes)
{
    // Read through an offset: what waits is shared with the test's data, never copied.
    const qsizetype length = std::min<qsizetype>(maxBytes, mWaiting.size() - mReadPosition);
    const QString text = QString::fromLatin1(mWaiting.constData() + mReadPosition, length);
    mReadPosition += length;
    if (mReadPosition == mWaiting.size()) {
        mWaiting.clear();
        mReadPosition = 0;
    }
    return text;
}

void FakeSocket::close()
{
    ++closeCalls;
    mState = State::Closed;
    mWaiting.clear();
    mReadPosition = 0;
}

// Like the real socket, a closed one delivers no events.
void FakeSocket::raiseConnect()
{
    if (mState != State::Connecting)
        return;
    mState = State::Connected;
    if (mListener)
        mListener->socketConnected();
}

void FakeSocket::raiseData(const QByteArray& bytes)
{
    if (mState != State::Connected)
        return;
    mWaiting.append(bytes);
    if (mListener)
        mListener->socketDataArrival(bytes.size());
}

void FakeSocket::raiseError(int number, const QString& description)
{
    if (mState == State::Closed)
        return;
    mState = State::Closing;
    if (mListener)
        mListener->socketError(number, description);
}

void FakeSocket::raiseClose()
{
    if (mState != State::Connected)
        return;
    mState = State::Closing;
    if (mListener)
        mListener->socketClosed();
}
