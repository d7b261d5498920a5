#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Drives a modal window that some call is about to open: once it is up, `action` runs with
// it (record what it shows there, assert afterwards). A window still open after a few
// seconds is closed, so a test never hangs on it.
class ModalDriver
{
public:
    explicit ModalDriver(std::function<void(QWidget&)> action) : mAction(std::move(action))
    {
        poll();
        QTimer::singleShot(5000, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
    }

    bool ran() const { return mRan; }

private:
    void poll()
    {
        QTimer::singleShot(10, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                if (++mPolls < 300)
                    poll();
                return;
            }
            mRan = true;
            mAction(*modal);
        });
    }

    std::function<void(QWidget&)> mAction;
    int mPolls = 0;
    bool mRan = false;
};
