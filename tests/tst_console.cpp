// The console pane's keyboard side: which keys send the pane's last line, what is sent,
// and what the pane shows afterwards.

#include "console.h"

#include <QApplication>
#include <QClipboard>
#include <QMetaMethod>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void signalIsTheOnlyOutput();

    void sendKeys_data();
    void sendKeys();
    void keysThatDoNotSend_data();
    void keysThatDoNotSend();
    void returnTwiceSendsLoneCr();
    void upAfterReturnSendsLoneCr();
    void keypadEnterStartsLineWithoutSending();
    void echoOffSendsAppendedLine();
    void echoCanBeSwitchedOff();
    void appendedTextJoinsTypedLine();
    void lineIsHandedOverBeforeLineBreak();
    void clearThenReturnSendsLoneCr();
    void pastedLinesSendOnlyLastOne();

private:
    static QList<QByteArray> emitted(const QSignalSpy &spy);
};

QList<QByteArray> TestConsole::emitted(const QSignalSpy &spy)
{
    QList<QByteArray> result;
    for (const QList<QVariant> &arguments : spy)
        result.append(arguments.at(0).toByteArray());
    return result;
}

void TestConsole::signalIsTheOnlyOutput()
{
    // The main window connects to getData by its signature, so the signature is fixed.
    Console console;
    const QMetaObject *meta = console.metaObject();
    QCOMPARE(meta->className(), "Console");
    QCOMPARE(meta->superClass(), &QPlainTextEdit::staticMetaObject);
    QCOMPARE(meta->methodCount() - meta->methodOffset(), 1);
    const QMetaMethod method = meta->method(meta->methodOffset());
    QCOMPARE(method.methodType(), QMetaMethod::Signal);
    QCOMPARE(method.methodSignature(), QByteArray("getData(QByteArray)"));
    QCOMPARE(meta->propertyCount(), meta->propertyOffset());
}

void TestConsole::sendKeys_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("shown");

    const int none = Qt::NoModifier;
    QTest::newRow("return on empty pane")
        << true << "" << int(Qt::Key_Return) << none << QByteArray("\r") << "\n";
    QTest::newRow("typed then return")
        << true << "abc" << int(Qt::Key_Return) << none << QByteArray("abc\r") << "abc\n";
    QTest::newRow("shift+return") << true << "abc" << int(Qt::Key_Return) << int(Qt::ShiftModifier)
                                  << QByteArray("abc\r") << "abc\n";
    QTest::newRow("ctrl+return") << true << "abc" << int(Qt::Key_Return) << int(Qt::ControlModifier)
                                 << QByteArray("abc\r") << "abc\n";
    QTest::newRow("up") << true << "ab" << int(Qt::Key_Up) << none << QByteArray("ab\r") << "ab\n";
    QTest::newRow("down") << true << "ab" << int(Qt::Key_Down) << none << QByteArray("ab\r")
                          << "ab\n";
    QTest::newRow("left") << true << "ab" << int(Qt::Key_Left) << none << QByteArray("ab\r")
                          << "ab\n";
    QTest::newRow("right") << true << "ab" << int(Qt::Key_Right) << none << QByteArray("ab\r")
                           << "ab\n";
    QTest::newRow("ctrl+left") << true << "ab" << int(Qt::Key_Left) << int(Qt::ControlModifier)
                               << QByteArray("ab\r") << "ab\n";
    QTest::newRow("shift+up") << true << "ab" << int(Qt::Key_Up) << int(Qt::ShiftModifier)
                              << QByteArray("ab\r") << "ab\n";
    QTest::newRow("delete deletes backwards")
        << true << "abcd" << int(Qt::Key_Delete) << none << QByteArray("abc\r") << "abc\n";
    QTest::newRow("delete on empty pane")
        << true << "" << int(Qt::Key_Delete) << none << QByteArray("\r") << "\n";
    QTest::newRow("echo off swallows typing")
        << false << "abc" << int(Qt::Key_Return) << none << QByteArray("\r") << "\n";
    QTest::newRow("echo off then delete")
        << false << "abc" << int(Qt::Key_Delete) << none << QByteArray("\r") << "\n";
    QTest::newRow("echo off then up")
        << false << "abc" << int(Qt::Key_Up) << none << QByteArray("\r") << "\n";
}

void TestConsole::sendKeys()
{
    QFETCH(bool, echo);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QByteArray, sent);
    QFETCH(QString, shown);

    Console console;
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, typed);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(console.toPlainText(), echo ? typed : QString());

    QTest::keyClick(&console, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(emitted(spy), QList<QByteArray> { sent });
    QCOMPARE(console.toPlainText(), shown);
    // The operator continues on a fresh line at the end of the pane.
    QVERIFY(console.textCursor().atEnd());
    QCOMPARE(console.textCursor().block().text(), QString());
}

void TestConsole::keysThatDoNotSend_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("shownWithEcho");

    QTest::newRow("keypad enter, echo on") << true << int(Qt::Key_Enter) << "ab\n";
    QTest::newRow("keypad enter, echo off") << false << int(Qt::Key_Enter) << "ab";
    QTest::newRow("backspace, echo on") << true << int(Qt::Key_Backspace) << "a";
    QTest::newRow("backspace, echo off") << false << int(Qt::Key_Backspace) << "ab";
    QTest::newRow("letter, echo on") << true << int(Qt::Key_X) << "abx";
    QTest::newRow("letter, echo off") << false << int(Qt::Key_X) << "ab";
    QTest::newRow("escape, echo on") << true << int(Qt::Key_Escape) << "ab";
    QTest::newRow("home, echo off") << false << int(Qt::Key_Home) << "ab";
}

void TestConsole::keysThatDoNotSend()
{
    QFETCH(bool, echo);
    QFETCH(int, key);
    QFETCH(QString, shownWithEcho);

    Console console;
    console.setLocalEcho(true);
    QTest::keyClicks(&console, QStringLiteral("ab"));
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);

    QTest::keyClick(&console, Qt::Key(key));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(console.toPlainText(), shownWithEcho);
}

void TestConsole::returnTwiceSendsLoneCr()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, QStringLiteral("status"));
    QTest::keyClick(&console, Qt::Key_Return);
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), (QList<QByteArray> { "status\r", "\r" }));
    QCOMPARE(console.toPlainText(), QStringLiteral("status\n\n"));
}

void TestConsole::upAfterReturnSendsLoneCr()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, QStringLiteral("cp"));
    QTest::keyClick(&console, Qt::Key_Return);
    QTest::keyClick(&console, Qt::Key_Up);
    QCOMPARE(emitted(spy), (QList<QByteArray> { "cp\r", "\r" }));
    QCOMPARE(console.toPlainText(), QStringLiteral("cp\n\n"));
}

void TestConsole::keypadEnterStartsLineWithoutSending()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, QStringLiteral("ab"));
    QTest::keyClick(&console, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(spy.count(), 0);
    QTest::keyClicks(&console, QStringLiteral("cd"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "cd\r" });
    QCOMPARE(console.toPlainText(), QStringLiteral("ab\ncd\n"));
}

void TestConsole::echoOffSendsAppendedLine()
{
    Console console;
    QSignalSpy spy(&console, &Console::getData);
    console.appendData(">status\r");
    console.appendData("ready");
    QTest::keyClicks(&console, QStringLiteral("xyz"));
    QCOMPARE(console.toPlainText(), QStringLiteral(">status\nready"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "ready\r" });
}

void TestConsole::echoCanBeSwitchedOff()
{
    Console console;
    console.setLocalEcho(true);
    QTest::keyClicks(&console, QStringLiteral("a"));
    console.setLocalEcho(false);
    QTest::keyClicks(&console, QStringLiteral("b"));
    console.setLocalEcho(true);
    QTest::keyClicks(&console, QStringLiteral("c"));
    QCOMPARE(console.toPlainText(), QStringLiteral("ac"));
}

void TestConsole::appendedTextJoinsTypedLine()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    console.appendData("> ");
    QTest::keyClicks(&console, QStringLiteral("cp"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "> cp\r" });
}

void TestConsole::lineIsHandedOverBeforeLineBreak()
{
    // The receiver writes the bytes to the port; it must see the pane before the new line.
    Console console;
    console.setLocalEcho(true);
    QString seen;
    connect(&console, &Console::getData, this, [&] { seen = console.toPlainText(); });
    QTest::keyClicks(&console, QStringLiteral("abc"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(seen, QStringLiteral("abc"));
    QCOMPARE(console.toPlainText(), QStringLiteral("abc\n"));
}

void TestConsole::clearThenReturnSendsLoneCr()
{
    Console console;
    console.setLocalEcho(true);
    console.appendData("old reply\rmore");
    QTest::keyClicks(&console, QStringLiteral("typed"));
    console.clear();
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "\r" });
    QCOMPARE(console.toPlainText(), QStringLiteral("\n"));
}

void TestConsole::pastedLinesSendOnlyLastOne()
{
    Console console;
    console.setLocalEcho(true);
    QSignalSpy spy(&console, &Console::getData);
    QApplication::clipboard()->setText(QStringLiteral("one\ntwo\nthr"));
    QTest::keyClick(&console, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(console.toPlainText(), QStringLiteral("one\ntwo\nthr"));
    QCOMPARE(spy.count(), 0);
    QTest::keyClicks(&console, QStringLiteral("ee"));
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(emitted(spy), QList<QByteArray> { "three\r" });
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
