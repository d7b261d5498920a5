#pragma once

#include "platform/IAddressLookup.h"

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <chrono>

class QNetworkReply;

// The lookup service asked over HTTP(S): one GET at a time, bounded in time and in what is read,
// and redirected only within its scheme (an https service that sends us to http would let the
// answer be changed on the way).
class QtAddressLookup : public QObject, public IAddressLookup
{
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kTimeLimit{10000};
    // What is read: the reply's reader takes 4 KiB, and sees by the one byte more that the
    // service said more than that.
    static constexpr qsizetype kMaxRead = 4 * 1024 + 1;
    static constexpr int kMaxRedirects = 5;

    explicit QtAddressLookup(std::chrono::milliseconds timeLimit = kTimeLimit, QObject* parent = nullptr);
    ~QtAddressLookup() override;

    void lookUp(const QUrl& url, std::function<void(const Reply&)> done) override;

    // What the requests say they come from: the program and its version.
    static QByteArray userAgent();

private:
    void read();
    void finish(const QString& failure = QString(), bool cut = false);
    void drop();

    std::chrono::milliseconds mTimeLimit;
    QNetworkAccessManager mNetwork;
    QPointer<QNetworkReply> mReply;
    std::function<void(const Reply&)> mDone;
    QByteArray mBody;
    QTimer mTimer;
};
