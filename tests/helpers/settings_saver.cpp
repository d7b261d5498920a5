// Saves ten keys, all holding the same text, to the settings file given as its argument,
// over and over, until it is killed. Prints one line after the first save.

#include "platform/qt/IniText.h"
#include "platform/qt/SettingsFile.h"

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2)
        return 64;
    const QString path = QString::fromLocal8Bit(argv[1]);
    for (long round = 0;; ++round) {
        // Texts of changing length, so that no two saves look alike.
        const QString text =
            QString::number(round) + QString(static_cast<int>(round % 500), QLatin1Char('x'));
        SettingsValues values;
        for (int k = 0; k < 10; ++k)
            values.append({QStringLiteral("Key%1").arg(k), text});
        const SettingsFile file(path);
        file.replace(IniText::withGroup(file.read(), QStringLiteral("Settings"), values));
        if (round == 0) {
            std::puts("saved");
            std::fflush(stdout);
        }
    }
}
