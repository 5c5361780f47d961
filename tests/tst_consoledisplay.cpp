// The console pane's display side: its fixed colours and block limit, what appendData
// shows and where the view ends up, and how the pane answers the mouse.

#include "console.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QWidget>

class TestConsoleDisplay : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void paletteIsWhiteOnBlack_data();
    void paletteIsWhiteOnBlack();
    void keepsAtMostHundredBlocks();
    void appendData_data();
    void appendData();
    void appendScrollsToBottom();
    void appendWhileUnavailable_data();
    void appendWhileUnavailable();

    void clickFocusesWithoutMovingCursor();
    void doubleClickSelectsNothing();
    void noContextMenu();
};

namespace {

// Console text with line breaks, as the operator sees it: two lines, cursor at the end.
const QByteArray twoLines("first line\nsecond line\n");

} // namespace

void TestConsoleDisplay::cleanup()
{
    // A stray popup from a failed context-menu check must not leak into the next test.
    while (QWidget *popup = QApplication::activePopupWidget())
        popup->close();
}

void TestConsoleDisplay::paletteIsWhiteOnBlack_data()
{
    QTest::addColumn<int>("group");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("active") << int(QPalette::Active) << true;
    QTest::newRow("inactive") << int(QPalette::Inactive) << true;
    QTest::newRow("disabled") << int(QPalette::Disabled) << true;
    QTest::newRow("disabled widget") << int(QPalette::Disabled) << false;
}

void TestConsoleDisplay::paletteIsWhiteOnBlack()
{
    QFETCH(int, group);
    QFETCH(bool, enabled);

    Console console;
    console.setEnabled(enabled);
    const QPalette p = console.palette();
    const auto colourGroup = QPalette::ColorGroup(group);
    QCOMPARE(p.color(colourGroup, QPalette::Base), QColor(Qt::black));
    QCOMPARE(p.color(colourGroup, QPalette::Text), QColor(Qt::white));
    QCOMPARE(p.brush(colourGroup, QPalette::Base).style(), Qt::SolidPattern);
    QCOMPARE(p.brush(colourGroup, QPalette::Text).style(), Qt::SolidPattern);
    // The rest of the pane is the toolkit's default: editable, wrapping, up to 100 blocks.
    QVERIFY(!console.isReadOnly());
    QCOMPARE(console.lineWrapMode(), QPlainTextEdit::WidgetWidth);
    QCOMPARE(console.maximumBlockCount(), 100);
}

void TestConsoleDisplay::keepsAtMostHundredBlocks()
{
    Console console;
    console.setLocalEcho(true);
    for (int i = 0; i < 150; ++i)
        console.appendData("line " + QByteArray::number(i) + '\r');
    console.appendData("last");
    QCOMPARE(console.blockCount(), 100);
    QCOMPARE(console.document()->firstBlock().text(), QStringLiteral("line 51"));
    QVERIFY(!console.toPlainText().contains(QStringLiteral("line 50\n")));

    QSignalSpy spy(&console, &Console::getData);
    QTest::keyClick(&console, Qt::Key_Return);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toByteArray(), QByteArray("last\r"));
    QCOMPARE(console.blockCount(), 100);
    QCOMPARE(console.document()->firstBlock().text(), QStringLiteral("line 52"));
}

void TestConsoleDisplay::appendData_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("shown");

    QTest::newRow("plain") << QByteArray("hello") << "hello";
    QTest::newRow("nul cuts the rest") << QByteArray("ab\0cd\r", 6) << "ab";
    QTest::newRow("leading nul") << QByteArray("\0abc", 4) << "";
    QTest::newRow("nul after line break") << QByteArray("ab\r\0cd", 6) << "ab\n";
    QTest::newRow("micro sign in utf-8")
        << QByteArray("12.5 \xc2\xb5m") << QString::fromUtf8("12.5 µm");
    QTest::newRow("invalid utf-8") << QByteArray("a\xff\xfe"
                                                 "b")
                                   << QString(QLatin1Char('a')) + QChar(QChar::ReplacementCharacter)
            + QChar(QChar::ReplacementCharacter) + QLatin1Char('b');
    QTest::newRow("cr starts a line") << QByteArray(">cp\r") << ">cp\n";
    QTest::newRow("lf starts a line") << QByteArray("a\nb") << "a\nb";
    QTest::newRow("cr lf is one break") << QByteArray("a\r\nb") << "a\nb";
    QTest::newRow("empty") << QByteArray() << "";
}

void TestConsoleDisplay::appendData()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, shown);

    Console console;
    console.appendData(">");
    console.appendData(data);
    QCOMPARE(console.toPlainText(), QLatin1Char('>') + shown);
}

void TestConsoleDisplay::appendScrollsToBottom()
{
    Console console;
    console.resize(300, 120);
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    for (int i = 0; i < 60; ++i)
        console.appendData("reply " + QByteArray::number(i) + '\r');
    QScrollBar *bar = console.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(0);
    console.appendData("x");
    QCOMPARE(bar->value(), bar->maximum());

    // Even when the operator has moved the cursor to the top (Home keys, echo on).
    console.setLocalEcho(true);
    QTest::keyClick(&console, Qt::Key_Home, Qt::ControlModifier);
    bar->setValue(0);
    console.appendData("y\r");
    QCOMPARE(bar->value(), bar->maximum());
}

void TestConsoleDisplay::appendWhileUnavailable_data()
{
    QTest::addColumn<bool>("hidden");
    QTest::addColumn<bool>("disabled");
    QTest::newRow("hidden") << true << false;
    QTest::newRow("disabled") << false << true;
    QTest::newRow("hidden and disabled") << true << true;
}

void TestConsoleDisplay::appendWhileUnavailable()
{
    QFETCH(bool, hidden);
    QFETCH(bool, disabled);

    Console console;
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    console.setHidden(hidden);
    console.setDisabled(disabled);
    console.appendData(">inform\r");
    console.appendData(">status\r");
    console.show();
    console.setEnabled(true);
    QCOMPARE(console.toPlainText(), QStringLiteral(">inform\n>status\n"));
}

void TestConsoleDisplay::clickFocusesWithoutMovingCursor()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *other = new QLineEdit(&window);
    auto *console = new Console(&window);
    layout->addWidget(other);
    layout->addWidget(console);
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    console->appendData(twoLines);
    other->setFocus();
    QVERIFY(other->hasFocus());

    const int end = console->textCursor().position();
    QTextCursor start(console->document());
    const QPoint onFirstLine = console->cursorRect(start).center();
    QTest::mouseClick(console->viewport(), Qt::LeftButton, Qt::NoModifier, onFirstLine);
    QVERIFY(console->hasFocus());
    QCOMPARE(console->textCursor().position(), end);
    QVERIFY(!console->textCursor().hasSelection());

    // A drag does not select either.
    QTest::mousePress(console->viewport(), Qt::LeftButton, Qt::NoModifier, onFirstLine);
    QTest::mouseMove(console->viewport(), onFirstLine + QPoint(60, 0));
    QTest::mouseRelease(console->viewport(), Qt::LeftButton, Qt::NoModifier,
                        onFirstLine + QPoint(60, 0));
    QCOMPARE(console->textCursor().position(), end);
    QVERIFY(!console->textCursor().hasSelection());
}

void TestConsoleDisplay::doubleClickSelectsNothing()
{
    Console console;
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    console.appendData(twoLines);
    const int end = console.textCursor().position();
    QTextCursor start(console.document());
    const QPoint onFirstWord = console.cursorRect(start).center() + QPoint(8, 0);
    QTest::mouseDClick(console.viewport(), Qt::LeftButton, Qt::NoModifier, onFirstWord);
    QVERIFY(!console.textCursor().hasSelection());
    QCOMPARE(console.textCursor().position(), end);
}

void TestConsoleDisplay::noContextMenu()
{
    Console console;
    console.show();
    QVERIFY(QTest::qWaitForWindowExposed(&console));
    console.appendData(twoLines);
    const QPoint inside(20, 10);
    QContextMenuEvent event(QContextMenuEvent::Mouse, inside, console.mapToGlobal(inside));
    QApplication::sendEvent(console.viewport(), &event);
    QTest::qWait(10);
    QVERIFY(!QApplication::activePopupWidget());
    QVERIFY(console.findChildren<QMenu *>().isEmpty());
}

QTEST_MAIN(TestConsoleDisplay)
#include "tst_consoledisplay.moc"
