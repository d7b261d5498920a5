#pragma once

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Runs work that blocks (a library call that waits on the network) on a thread of its own and
// hands its result to a receiver on the receiver's thread. The thread is detached, so the
// receiver's end never waits for it: once the receiver has cut the link (end()), a result that
// comes later is dropped, and one posted before is dropped with the receiver's pending events.
class BackgroundCall
{
public:
    explicit BackgroundCall(QObject* receiver) : mLink(std::make_shared<Link>(receiver)) {}
    ~BackgroundCall() { end(); }
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    // work runs on the new thread and must touch nothing the receiver owns; deliver runs on the
    // receiver's thread with work's result.
    template <class Result> void run(std::function<Result()> work, std::function<void(Result)> deliver)
    {
        std::thread([link = mLink, work = std::move(work), deliver = std::move(deliver)]() mutable {
            Result result = work();
            // Under the lock the receiver cannot be cut off halfway through the posting.
            const std::lock_guard lock(link->mutex);
            if (link->receiver)
                QMetaObject::invokeMethod(
                    link->receiver,
                    [deliver = std::move(deliver), result = std::move(result)]() mutable {
                        deliver(std::move(result));
                    },
                    Qt::QueuedConnection);
        }).detach();
    }

    // No result is delivered after this.
    void end()
    {
        const std::lock_guard lock(mLink->mutex);
        mLink->receiver = nullptr;
    }

private:
    struct Link
    {
        explicit Link(QObject* to) : receiver(to) {}
        std::mutex mutex;
        QObject* receiver;
    };
    std::shared_ptr<Link> mLink;
};
