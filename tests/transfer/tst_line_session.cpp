// A line session on a real pseudo-terminal: its states as a front end sees them, a loss
// and the reopen that follows it, and a close that comes before the open has ended.
#include "PtyPair.h"
#include "SendRig.h"
#include "transfer/LineSession.h"
#include "transfer/PortSerialLine.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using State = LineSession::State;

class TestLineSession : public QObject
{
    Q_OBJECT
private slots:
    void openLoseClose();
    void reopensAfterLoss();
    void closeWhileConnecting();
    void openNowNamesTheProblem();
    void aliasOfAnOpenDeviceRefused();
};

namespace
{

// The line, its session and every state the session told, in order.
struct Rig {
    explicit Rig(const QString &portName)
    {
        LineSettings s;
        s.portName = portName;
        s.baudRate = PtyPair::FastBaud;
        line.setSettings(s);
        QObject::connect(&session, &LineSession::stateChanged,
                         [this](State state, const QString &reason) {
                             states << state;
                             reasons << reason;
                         });
    }
    bool reach(State state, int timeoutMs = 3000)
    {
        return SendRig::spin([&] { return session.state() == state; }, timeoutMs);
    }
    PortSerialLine line;
    LineSession session{&line};
    QList<State> states;
    QStringList reasons;
};

} // namespace

void TestLineSession::openLoseClose()
{
    PtyPair pty;
    QVERIFY(pty.isValid());
    Rig rig(pty.slavePath());
    rig.session.open();
    QVERIFY(rig.reach(State::Open));
    QCOMPARE(rig.states, (QList<State>{State::Connecting, State::Open}));
    QVERIFY(rig.line.isConnected());

    // Without a reopen policy a lost line stays lost, and says why.
    pty.hangUp();
    QVERIFY(rig.reach(State::Lost));
    QVERIFY2(rig.reasons.last().contains(pty.slavePath()), qPrintable(rig.reasons.last()));
    QTest::qWait(100);
    QCOMPARE(rig.session.state(), State::Lost);

    rig.session.close();
    QCOMPARE(rig.states.mid(2), (QList<State>{State::Lost, State::Closing, State::Closed}));
    QVERIFY(rig.session.reason().isEmpty());
    QVERIFY(!rig.line.isConnected());
}

// A replugged adapter comes back under the same name: the session finds it again by itself,
// quietly while it is away, and the bytes go to the device that is there now.
void TestLineSession::reopensAfterLoss()
{
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyUSB0");
    auto first = std::make_unique<PtyPair>();
    QVERIFY(QFile::link(first->slavePath(), link));
    Rig rig(link);
    rig.session.setReopenInterval(50);
    QVERIFY(rig.session.openNow());

    // Unplugged: the name leads nowhere before the pty's number is free for another test
    // running beside this one.
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(dir.filePath("unplugged"), link));
    first->hangUp();
    QVERIFY(rig.reach(State::Lost));
    first.reset();
    QVERIFY(!rig.line.isConnected());
    // Tried several times while nothing is there; none of the tries is told.
    QTest::qWait(300);
    QCOMPARE(rig.states, (QList<State>{State::Open, State::Lost}));

    PtyPair second;
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(second.slavePath(), link));
    QVERIFY(rig.reach(State::Open));
    QCOMPARE(rig.states, (QList<State>{State::Open, State::Lost, State::Open}));
    QCOMPARE(rig.line.write("%\n"), 2);
    QCOMPARE(second.readBytes(2, 2000), QByteArray("%\n"));

    // A close gives the reopen up: a loss after it is not tried again.
    rig.session.close();
    QTest::qWait(150);
    QCOMPARE(rig.session.state(), State::Closed);
    QVERIFY(!rig.line.isConnected());
}

void TestLineSession::closeWhileConnecting()
{
    PtyPair pty;
    Rig rig(pty.slavePath());
    rig.session.open();
    QCOMPARE(rig.session.state(), State::Connecting);
    rig.session.close();
    QTest::qWait(150);
    QCOMPARE(rig.states, (QList<State>{State::Connecting, State::Closing, State::Closed}));
    QVERIFY(!rig.line.isConnected());
    // The port is free again for another session.
    PortSerialLine other;
    other.setSettings(pty.lineSettings());
    LineSession next(&other);
    QVERIFY(next.openNow());
}

void TestLineSession::openNowNamesTheProblem()
{
    QTemporaryDir dir;
    Rig rig(dir.filePath("ttyNONE"));
    QString why;
    QVERIFY(!rig.session.openNow(&why));
    QCOMPARE(rig.session.state(), State::Closed);
    QCOMPARE(rig.session.reason(), why);
    QVERIFY2(why.contains("ttyNONE"), qPrintable(why));
    // Asynchronously the same reason arrives with the state.
    rig.session.open();
    QVERIFY(rig.reach(State::Closed));
    QCOMPARE(rig.reasons.last(), why);
}

// One device, two names (a by-id link and the node itself): the second session is refused
// and says so, and the first keeps the line.
void TestLineSession::aliasOfAnOpenDeviceRefused()
{
    PtyPair pty;
    QTemporaryDir dir;
    const QString alias = dir.filePath("usb-FTDI_FT232R-if00-port0");
    QVERIFY(QFile::link(pty.slavePath(), alias));
    Rig first(pty.slavePath());
    QVERIFY(first.session.openNow());
    Rig second(alias);
    second.session.open();
    QVERIFY(second.reach(State::Closed));
    QVERIFY2(second.reasons.last().contains("in use by another window"),
             qPrintable(second.reasons.last()));
    QVERIFY(first.session.isOpen());
    QCOMPARE(first.line.write("O1\n"), 3);
    QCOMPARE(pty.readBytes(3, 2000), QByteArray("O1\n"));
}

QTEST_GUILESS_MAIN(TestLineSession)
#include "tst_line_session.moc"
