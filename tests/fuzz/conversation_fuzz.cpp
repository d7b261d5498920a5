// Drives the real update session (the conversation, its control and the line handling) through
// the test doubles, with whatever a server (and a user, and the connection monitor) might do, in
// any order.
// After every step it checks what must always hold:
// - the lines sent in a conversation are the documented ones, in order, one per step;
// - every conversation that starts ends exactly once, with one " - Disconnected.";
// - after every end the start commands are enabled again and no timer runs;
// - the password never reaches the log.
//
// The input is a small program: the first byte picks the settings, then each byte is an
// operation, some followed by their own bytes.

#include "FakeClock.h"
#include "FakeSecretStore.h"
#include "FakeSettingsStore.h"
#include "FakeSocket.h"
#include "FakeWindowing.h"
#include "history/HistoryRecorder.h"
#include "session/UpdateSession.h"
#include "settings/CSettings.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

const QString kPassword = QStringLiteral("Zq9-pass-word");

[[noreturn]] void broken(const char* what)
{
    std::fprintf(stderr, "conversation fuzz: %s\n", what);
    std::abort();
}

void check(bool condition, const char* what)
{
    if (!condition)
        broken(what);
}

class RecordingHost : public SessionHost
{
public:
    void AppendLog(const QString& text) override { log.append(text); }
    void conversationStarted(Operation) override { menusEnabled = false; }
    bool conversationEnded(const ConversationResult&) override
    {
        ++ends;
        menusEnabled = true;
        return true;
    }
    void passwordUnavailable(const Failure&, Operation) override { broken("the password was asked for"); }

    QStringList log;
    bool menusEnabled = true;
    int ends = 0;
};

struct Input
{
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    bool done() const { return at >= size; }
    std::uint8_t next() { return done() ? 0 : data[at++]; }
    QByteArray bytes(std::size_t count)
    {
        count = std::min(count, size - at);
        QByteArray result(reinterpret_cast<const char*>(data + at), static_cast<qsizetype>(count));
        at += count;
        return result;
    }
};

// The lines of a whole conversation, in order.
QStringList expectedLines(Operation operation, const QString& address)
{
    QStringList lines{
        QStringLiteral("VER 1.0 [Corvane DynDNS v1.9]"), QStringLiteral("USER alice"),
        QStringLiteral("PASS ") + gSettings->Password(),
        QStringLiteral("HOST ") + gSettings->SubDomain() + QStringLiteral(".dyn.brevant.example"),
        QStringLiteral("OPER ") +
            (operation == Operation::Update ? QStringLiteral("update") : QStringLiteral("delete"))};
    if (operation == Operation::Update)
        lines.append(QStringLiteral("IP ") + address);
    lines.append(QStringLiteral("DONE"));
    return lines;
}

class Harness
{
public:
    explicit Harness(const QString& historyPath)
        : mRecorder(History(historyPath), HistoryEntry::Runner::Once, mClock),
          mSession({mSocket, mSecrets, mWindowing, mRecorder, nullptr}, mHost),
          mConversation(mSession.conversation()), mControl(mSession.control())
    {
        // Time-outs are driven by the input, never by the clock.
        mControl.setTimeout(1000 * 1000 * 1000);
        mControl.setLimit(1000 * 1000 * 1000);
    }

    void run(Input& input)
    {
        const std::uint8_t settings = input.next();
        mStore.values.insert(FakeSettingsStore::path(mWindowing.titleText, QStringLiteral("Username")),
                             QStringLiteral("alice"));
        mStore.values.insert(FakeSettingsStore::path(mWindowing.titleText, QStringLiteral("Password")),
                             settings & 1 ? kPassword + QStringLiteral("\r\nHOST x") : kPassword);
        mStore.values.insert(FakeSettingsStore::path(mWindowing.titleText, QStringLiteral("SubDomain")),
                             settings & 2 ? QStringLiteral("h\nDONE") : QStringLiteral("home"));
        mStore.values.insert(FakeSettingsStore::path(mWindowing.titleText, QStringLiteral("CurrentIP")),
                             settings & 4 ? QStringLiteral("False") : QStringLiteral("True"));
        gSettings.create(mStore, mSecrets, mWindowing);

        while (!input.done()) {
            step(input);
            QCoreApplication::processEvents();
            noteStarts();
            checkInvariants();
        }
        if (mConversation.isRunning())
            mControl.sckClient_Error(10053, QStringLiteral("Connection reset"));
        QCoreApplication::processEvents();
        noteStarts();
        if (mConversation.isRunning())
            mControl.sckClient_Error(10053, QStringLiteral("Connection reset"));
        checkInvariants();
        gSettings.discard();
    }

private:
    void step(Input& input)
    {
        switch (input.next() % 9) {
        case 0:
            // The user can only pick a command that is enabled.
            if (mHost.menusEnabled)
                mSession.start(
                    UpdateRequest::of(*gSettings, input.next() & 1 ? Operation::Update : Operation::Offline));
            break;
        case 1: {
            const bool running = mConversation.isRunning();
            const int connects = mSocket.connectRequests;
            mSession.requestUpdate([] { return UpdateRequest::of(*gSettings, Operation::Update); });
            check(!running || mSocket.connectRequests == connects, "the monitor broke into a conversation");
            break;
        }
        case 2:
            mSocket.raiseConnect();
            break;
        case 3:
            mSocket.raiseData(input.bytes(input.next()));
            collectSent();
            break;
        case 4:
            mSocket.raiseData(QByteArray("OK\r\n").repeated(input.next() % 8 + 1));
            collectSent();
            break;
        case 5:
            mSocket.raiseClose();
            collectSent();
            break;
        case 6:
            mSocket.raiseError(input.next(), QStringLiteral("Connection reset"));
            break;
        case 7:
            mSocket.failSends = !mSocket.failSends;
            break;
        case 8:
            // A time-out, as the timers would raise it.
            if (mConversation.isRunning())
                mControl.sckClient_Error(0, QStringLiteral("The server sent nothing for 30 seconds"));
            break;
        }
    }

    // A conversation starts with its connect request: from a menu, from the monitor, or
    // from the event loop once the one the monitor waited for has ended.
    void noteStarts()
    {
        if (mSocket.connectRequests == mConnects)
            return;
        check(mSocket.connectRequests == mConnects + 1, "two conversations started at once");
        mConnects = mSocket.connectRequests;
        ++mStarted;
        mSent.clear();
        mSentBefore = mSocket.sent.size();
    }

    void collectSent()
    {
        const QByteArray fresh = mSocket.sent.mid(mSentBefore);
        mSentBefore = mSocket.sent.size();
        QList<QByteArray> lines = fresh.split('\n');
        check(lines.takeLast().isEmpty(), "a line went out without its line end");
        check(!fresh.contains('\r'), "a carriage return went out");
        for (const QByteArray& line : std::as_const(lines))
            mSent.append(QString::fromLatin1(line));
        // In order, each at most once; a line whose send failed is not sent again.
        const QString address = gSettings->CurrentIP() ? mSocket.localAddress : gSettings->OtherIP();
        const QStringList expected = expectedLines(mConversation.operation(), address);
        qsizetype next = 0;
        for (const QString& line : std::as_const(mSent)) {
            while (next < expected.size() && expected[next] != line)
                ++next;
            check(next < expected.size(), "a line went out of order, twice, or other than documented");
            ++next;
        }
    }

    void checkInvariants()
    {
        const int ended = mStarted - (mConversation.isRunning() ? 1 : 0);
        check(mHost.ends == ended, "a conversation did not end exactly once");
        check(mHost.log.filter(QStringLiteral(" - Disconnected.")).size() == ended,
              "the log does not show one end per conversation");
        if (!mConversation.isRunning()) {
            check(mHost.menusEnabled, "the start commands stayed disabled after an end");
            check(mConversation.ConversationStep() == 0, "the step was not reset after an end");
            check(!mSocket.isOpen(), "the connection stayed open after an end");
            check(!mControl.timersRunning(), "a timer runs with no conversation");
        }
        for (const QString& entry : std::as_const(mHost.log)) {
            // What the server says is its own business; the client's own lines never hold it.
            if (!entry.contains(QStringLiteral(" - Error: ")) &&
                !entry.contains(QStringLiteral(" - Server: ")))
                check(!entry.contains(kPassword), "the password reached the log");
        }
    }

    FakeSocket mSocket;
    FakeWindowing mWindowing;
    FakeSettingsStore mStore;
    FakeSecretStore mSecrets;
    FakeClock mClock;
    RecordingHost mHost;
    HistoryRecorder mRecorder;
    UpdateSession mSession;
    UpdateConversation& mConversation;
    ConversationControl& mControl;
    QStringList mSent;
    qsizetype mSentBefore = 0;
    int mConnects = 0;
    int mStarted = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static int argc = 1;
    static char name[] = "conversation-fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir history;
    Input input{data, size};
    Harness harness(history.filePath(QStringLiteral("history")));
    harness.run(input);
    return 0;
}
