#include "update/ConsoleLog.h"

#include "app/Identity.h"
#include "app/VisibleText.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

void ConsoleLog::complain(const QString& text) const
{
    print(mErr, identity::kProgram + QStringLiteral(": ") + text);
}

void ConsoleLog::print(std::FILE* stream, const QString& line) const
{
    QByteArray text = VisibleText::escaped(line).toLocal8Bit() + '\n';
    if (mStalled == WhenStalled::Wait) {
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
        std::fflush(stream);
        return;
    }
    if (mDropped > 0)
        text.prepend(QByteArray("(") + QByteArray::number(mDropped) +
                     (mDropped == 1 ? " line was" : " lines were") + " dropped: nobody read them)\n");
    if (mCut)
        text.prepend('\n');
    mCut = false;
    if (writeWithoutWaiting(stream, text, mCut))
        mDropped = 0;
    else
        ++mDropped;
}

bool ConsoleLog::writeWithoutWaiting(std::FILE* stream, const QByteArray& text, bool& cut)
{
    std::fflush(stream);
    const int fd = ::fileno(stream);
    struct stat info = {};
    const bool socket = ::fstat(fd, &info) == 0 && S_ISSOCK(info.st_mode);
    qsizetype done = 0;
    while (done < text.size()) {
        // A pipe that has room takes PIPE_BUF bytes at once without waiting.
        pollfd ready = {fd, POLLOUT, 0};
        if (::poll(&ready, 1, 0) != 1 || (ready.revents & POLLOUT) == 0)
            break;
        const size_t piece = static_cast<size_t>(std::min<qsizetype>(text.size() - done, PIPE_BUF));
        const ssize_t n = socket ? ::send(fd, text.constData() + done, piece, MSG_DONTWAIT | MSG_NOSIGNAL)
                                 : ::write(fd, text.constData() + done, piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    cut = done > 0 && done < text.size();
    return done > 0;
}
