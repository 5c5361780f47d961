// The console pane on its own: which keys send its last line and what is sent, local echo,
// and the bound on the lines it keeps.

#include "console.h"

#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void keys_data();
    void keys();
    void keepsAtMostHundredLines();
};

void TestConsole::keys_data()
{
    QTest::addColumn<bool>("echo");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("sent"); // empty: nothing is sent
    QTest::addColumn<QString>("shown");

    const auto row = [](const char *name, bool echo, const char *typed, Qt::Key key,
                        const char *sent, const char *shown) {
        QTest::newRow(name) << echo << QString::fromLatin1(typed) << int(key) << QByteArray(sent)
                            << QString::fromLatin1(shown);
    };
    row("return", true, "abc", Qt::Key_Return, "abc\r", "abc\n");
    row("return on an empty pane", true, "", Qt::Key_Return, "\r", "\n");
    row("up", true, "ab", Qt::Key_Up, "ab\r", "ab\n");
    row("down", true, "ab", Qt::Key_Down, "ab\r", "ab\n");
    row("left", true, "ab", Qt::Key_Left, "ab\r", "ab\n");
    row("right", true, "ab", Qt::Key_Right, "ab\r", "ab\n");
    row("delete corrects, then sends", true, "abcd", Qt::Key_Delete, "abc\r", "abc\n");
    row("echo off swallows typing", false, "abc", Qt::Key_Return, "\r", "\n");
    row("backspace", true, "ab", Qt::Key_Backspace, "", "a");
    row("keypad enter", true, "ab", Qt::Key_Enter, "", "ab\n");
}

void TestConsole::keys()
{
    QFETCH(bool, echo);
    QFETCH(QString, typed);
    QFETCH(int, key);
    QFETCH(QByteArray, sent);
    QFETCH(QString, shown);

    Console console;
    console.setLocalEcho(echo);
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClicks(&console, typed);
    QTest::keyClick(&console, Qt::Key(key));
    QCOMPARE(spy.count(), sent.isEmpty() ? 0 : 1);
    if (!sent.isEmpty())
        QCOMPARE(spy.at(0).at(0).toByteArray(), sent);
    QCOMPARE(console.toPlainText(), shown);
    QVERIFY(console.textCursor().atEnd());
}

void TestConsole::keepsAtMostHundredLines()
{
    Console console;
    for (int i = 0; i < 150; ++i)
        console.appendData("line " + QByteArray::number(i) + '\r');
    console.appendData("last");
    QCOMPARE(console.blockCount(), 100);
    QCOMPARE(console.document()->firstBlock().text(), QStringLiteral("line 51"));
    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClick(&console, Qt::Key_Return); // the pane's last line, typed or not
    QCOMPARE(spy.value(0).value(0).toByteArray(), QByteArray("last\r"));
}

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
