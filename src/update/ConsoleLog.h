#pragma once

#include <QString>

#include <cstdio>

// The log of a run without a window: each entry on standard output as the window would show it,
// cut where the window cuts it and with control characters made visible; entries that tell of an
// error, and the program's own complaints, on standard error.
class ConsoleLog
{
public:
    ConsoleLog(std::FILE* out, std::FILE* err, bool quiet) : mOut(out), mErr(err), mQuiet(quiet) {}

    // An entry, already stamped; nothing while quiet.
    void entry(const QString& text) const;
    // An entry that tells of a refusal or an error; also while quiet.
    void error(const QString& text) const;
    // A message of the program's own, after its name.
    void complain(const QString& text) const;
    // A line of an answer (the settings, the history) on standard output.
    void line(const QString& text) const;

private:
    static void print(std::FILE* stream, const QString& line);

    std::FILE* mOut;
    std::FILE* mErr;
    bool mQuiet;
};
