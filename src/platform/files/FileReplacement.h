#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace FileReplacement {

// Puts the text at the path in one step: written to a hidden file beside it, made durable
// and renamed over the path itself (a link there is replaced, never followed), so a reader or
// a crash sees the old file or the new one, never a mixture. Temporary files that earlier
// replacements killed before their rename left beside the path go first. Returns what went
// wrong, or an empty text when the file is in place.
QString replace(const QString& path, const QByteArray& text, mode_t mode);

// Takes away the temporary files that replacements of the path killed before their rename left
// beside it (a settings file's may hold the password): the user's own regular files named as
// replace() names them, unless a replacement under way holds one.
void removeLeftovers(const QString& path);

} // namespace FileReplacement
