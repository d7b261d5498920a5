#include "platform/files/LookupHoldFile.h"

#include "platform/Failure.h"
#include "platform/files/FileReplacement.h"
#include "platform/files/RegularFile.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <fcntl.h>

namespace {

constexpr qint64 kMostRead = 256;

QByteArray keyOf(const QUrl& url)
{
    return QCryptographicHash::hash(url.toEncoded(), QCryptographicHash::Sha256).toHex();
}

} // namespace

QDateTime LookupHoldFile::until(const QUrl& url) const
{
    try {
        const std::optional<RegularFile> file = RegularFile::open(mPath, O_RDONLY | O_NOFOLLOW);
        if (!file)
            return {};
        const QList<QByteArray> fields = file->read(0, kMostRead).trimmed().split(' ');
        if (fields.size() != 2 || fields.at(0) != keyOf(url))
            return {};
        QDateTime time = QDateTime::fromString(QString::fromLatin1(fields.at(1)), Qt::ISODate);
        return time.isValid() ? time.toUTC() : QDateTime();
    } catch (const Failure&) {
        return {};
    }
}

void LookupHoldFile::hold(const QUrl& url, const QDateTime& until)
{
    try {
        RegularFile::makeFolder(QFileInfo(mPath).path());
        FileReplacement::replace(
            mPath, keyOf(url) + ' ' + until.toUTC().toString(Qt::ISODate).toLatin1() + '\n', 0600);
    } catch (const Failure&) {
        // Asked sooner, then: see the interface.
    }
}
