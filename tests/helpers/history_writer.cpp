// history-writer PATH RUNNER COUNT: appends COUNT entries to the history at PATH, as RUNNER
// ("window", "once" or "watch"), each holding its number as its message; says why and ends
// with status 1 when one cannot be written.

#include "history/History.h"
#include "platform/Failure.h"

#include <QStringList>

#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 4)
        return 64;
    const History history(QString::fromLocal8Bit(argv[1]));
    HistoryEntry entry;
    entry.runner =
        valueOf(kRunnerWords, QString::fromLocal8Bit(argv[2])).value_or(HistoryEntry::Runner::Window);
    entry.host = QStringLiteral("h.dyn.brevant.example");
    entry.address = QStringLiteral("192.0.2.1");
    entry.outcome = ConversationResult::Outcome::Accepted;
    const int count = QByteArray(argv[3]).toInt();
    for (int number = 0; number < count; ++number) {
        entry.time = QDateTime::currentDateTimeUtc();
        entry.message = QString::number(number);
        try {
            history.append(entry);
        } catch (const Failure& failure) {
            std::fprintf(stderr, "history-writer: line %d: %s\n", number, failure.what());
            return 1;
        }
    }
}
