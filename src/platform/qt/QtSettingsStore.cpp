#include "platform/qt/QtSettingsStore.h"

#include "platform/Failure.h"
#include "platform/files/FileReplacement.h"
#include "platform/qt/IniText.h"
#include "platform/qt/SettingsFile.h"

#include <QFileInfo>

#include <new>

QString QtSettingsStore::read(const QString& application, const QString& section, const QString& key,
                              const QString& defaultText)
{
    const QString path = filePath(application);
    const QByteArray stamp = SettingsFile::stamp(path);
    if (!mLoaded || mLoaded->path != path || mLoaded->section != section || mLoaded->stamp != stamp ||
        stamp.isEmpty()) {
        mLoaded.reset();
        // A save killed before its rename may have left its temporary file, the password in it,
        // beside the file (a link's target): every run that reads the settings takes it away.
        const QString target = QFileInfo(path).canonicalFilePath();
        FileReplacement::removeLeftovers(target.isEmpty() ? path : target);
        try {
            const std::optional<QByteArray> text = SettingsFile::load(path);
            if (!text)
                return defaultText;
            mLoaded = Loaded{path, section, stamp, IniText::groupValues(*text, section)};
        } catch (const std::bad_alloc&) {
            throw Failure(failures::kOutOfMemory,
                          QStringLiteral("Out of memory: cannot read the settings from ") + path,
                          QStringLiteral("SettingsStore"));
        }
    }
    return mLoaded->values.value(key, defaultText);
}

void QtSettingsStore::write(const QString& application, const QString& section, const SettingsValues& values,
                            const QStringList& removed)
{
    const SettingsFile file(filePath(application));
    file.replace(IniText::withGroup(file.read(), section, values, removed));
}
