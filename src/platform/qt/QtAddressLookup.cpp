#include "platform/qt/QtAddressLookup.h"

#include "app/Identity.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace {

QString timeText(std::chrono::milliseconds time)
{
    if (time.count() % 1000 == 0)
        return QStringLiteral("%1 seconds").arg(time.count() / 1000);
    return QStringLiteral("%1 ms").arg(time.count());
}

} // namespace

QtAddressLookup::QtAddressLookup(std::chrono::milliseconds timeLimit, QObject* parent)
    : QObject(parent), mTimeLimit(timeLimit)
{
    mTimer.setSingleShot(true);
    connect(&mTimer, &QTimer::timeout, this,
            [this] { finish(QStringLiteral("no answer within %1").arg(timeText(mTimeLimit)), true); });
}

QtAddressLookup::~QtAddressLookup()
{
    drop();
}

QByteArray QtAddressLookup::userAgent()
{
    return identity::kProgram.toUtf8() + '/' + QByteArray::number(identity::kMajor) + '.' +
           QByteArray::number(identity::kMinor) + '.' + QByteArray::number(identity::kRevision);
}

void QtAddressLookup::lookUp(const QUrl& url, std::function<void(const Reply&)> done)
{
    drop();
    mDone = std::move(done);
    mBody.clear();

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setRawHeader("Accept", "text/plain, */*;q=0.5");
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    QNetworkReply* reply = mNetwork.get(request);
    mReply = reply;
    reply->setReadBufferSize(kMaxRead);
    const QString scheme = url.scheme();
    connect(reply, &QNetworkReply::redirected, this, [this, reply, scheme](const QUrl& to) {
        if (to.scheme() == scheme)
            emit reply->redirectAllowed();
        else
            finish(); // with the redirect's status: the caller says what is wrong with it
    });
    connect(reply, &QNetworkReply::readyRead, this, &QtAddressLookup::read);
    connect(reply, &QNetworkReply::finished, this, [this] {
        read();
        const bool noStatus =
            mReply && !mReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
        finish(noStatus ? mReply->errorString() : QString());
    });
    mTimer.start(mTimeLimit);
}

void QtAddressLookup::read()
{
    if (!mReply)
        return;
    mBody += mReply->read(kMaxRead - mBody.size());
    if (mBody.size() >= kMaxRead)
        finish(); // the rest is not waited for
}

void QtAddressLookup::finish(const QString& failure, bool cut)
{
    if (!mReply)
        return;
    Reply reply;
    // A reply cut off by the time limit has no status: its body may end in half an address.
    if (!cut)
        reply.status = mReply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (!cut)
        reply.body = mBody;
    reply.retryAfter = mReply->rawHeader("Retry-After");
    if (reply.status == 0)
        reply.failure = failure.isEmpty() ? mReply->errorString() : failure;
    drop();
    if (auto done = std::exchange(mDone, nullptr))
        done(reply);
}

void QtAddressLookup::drop()
{
    mTimer.stop();
    if (QNetworkReply* reply = mReply) {
        mReply = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}
