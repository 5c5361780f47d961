#include "console.h"

#include <QKeyEvent>
#include <QPalette>
#include <QScrollBar>
#include <QTextCursor>

namespace {

// A long session must not grow the pane (and the copy taken on every send) without bound.
constexpr int maximumLines = 100;

} // namespace

Console::Console(QWidget *parent)
    : QPlainTextEdit(parent)
{
    document()->setMaximumBlockCount(maximumLines);

    // Set for every colour group, so that the pane stays white on black while disabled.
    QPalette p = palette();
    p.setBrush(QPalette::All, QPalette::Base, QBrush(Qt::black));
    p.setBrush(QPalette::All, QPalette::Text, QBrush(Qt::white));
    setPalette(p);
}

void Console::appendData(const QByteArray &data)
{
    // The controller's text is C-string-like: a NUL ends it. Qt 6 would keep the bytes
    // after it, so cut explicitly.
    const auto nul = data.indexOf('\0');
    const auto length = nul < 0 ? data.size() : nul;
    insertPlainText(QString::fromUtf8(data.constData(), length));

    QScrollBar *bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

void Console::setLocalEcho(bool on)
{
    echoEnabled = on;
}

void Console::keyPressEvent(QKeyEvent *event)
{
    // Only the key code counts: Shift+Return sends like Return.
    switch (event->key()) {
    case Qt::Key_Return:
        sendLastLine();
        break;
    case Qt::Key_Delete: {
        // Delete corrects like Backspace (the character before the cursor) and then sends.
        QTextCursor cursor = textCursor();
        cursor.deletePreviousChar();
        sendLastLine();
        break;
    }
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        // The arrows must not move the cursor away from the end, where appended text goes.
        sendLastLine();
        break;
    default:
        if (echoEnabled)
            QPlainTextEdit::keyPressEvent(event);
        break;
    }
}

void Console::sendLastLine()
{
    // The last line of the document is sent, not the cursor's line; in normal use the
    // cursor stays at the end, so they are the same.
    screenLines = toPlainText().split(QChar(0x0A), Qt::KeepEmptyParts, Qt::CaseSensitive);
    lastCommand = screenLines.constLast() + QLatin1Char('\r');
    emit getData(lastCommand.toLocal8Bit());
    insertPlainText(QStringLiteral("\n"));
}

void Console::mousePressEvent(QMouseEvent *event)
{
    // A click must not move the cursor, or appended text would land mid-pane.
    Q_UNUSED(event)
    setFocus(Qt::OtherFocusReason);
}

void Console::mouseDoubleClickEvent(QMouseEvent *event)
{
    Q_UNUSED(event)
}

void Console::contextMenuEvent(QContextMenuEvent *event)
{
    Q_UNUSED(event)
}
