#pragma once

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

// For tests that make network devices: they run themselves again inside a network namespace
// of their own ("unshare -n", as root), where nothing they do reaches the machine's network.
namespace networkNamespace {

constexpr const char* kInsideVariable = "CORVANE_INSIDE_NAMESPACE";
constexpr int kToolMs = 30000;

inline bool inside()
{
    return qEnvironmentVariableIsSet(kInsideVariable);
}

// Runs a tool to its end: true when it succeeded. What it printed goes to output.
inline bool run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(kToolMs))
        return false;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Runs "ip" with the arguments in this namespace, or in the one the process named by its id
// holds: true when it succeeded; what failed is warned of.
inline bool ip(const QStringList& arguments, const QString& nameSpace = QString())
{
    QString output;
    const bool done =
        nameSpace.isEmpty()
            ? run(QStringLiteral("ip"), arguments, &output)
            : run(QStringLiteral("nsenter"),
                  QStringList{QStringLiteral("-t"), nameSpace, QStringLiteral("-n"), QStringLiteral("ip")} +
                      arguments,
                  &output);
    if (!done)
        qWarning("ip %s: %s", qPrintable(arguments.join(' ')), qPrintable(output));
    return done;
}

// Why the test cannot run here (a tool missing, no right to make a namespace with the
// options), or empty when it can.
inline QString unavailable(const QStringList& tools, const QStringList& unshareOptions)
{
    for (const QString& tool : QStringList{QStringLiteral("unshare")} + tools) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            return QStringLiteral("%1 is not installed (scripts/bootstrap installs it)").arg(tool);
    }
    QString why;
    if (!run(QStringLiteral("unshare"), unshareOptions + QStringList{QStringLiteral("true")}, &why))
        return QStringLiteral("cannot make a network namespace here (%1)").arg(why.trimmed());
    return QString();
}

// Starts this test again inside a namespace made with the options, with the arguments.
inline void startInside(QProcess& child, const QStringList& unshareOptions, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kInsideVariable), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QStringLiteral("unshare"),
                unshareOptions + QStringList{QStringLiteral("--"), QCoreApplication::applicationFilePath()} +
                    arguments);
}

// Runs this test to its end inside a namespace made with the options, forwarding its output:
// its exit status.
inline int runInside(const QStringList& unshareOptions)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    startInside(child, unshareOptions, QCoreApplication::arguments().mid(1));
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : 1;
}

} // namespace networkNamespace
