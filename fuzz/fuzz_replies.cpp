// Feeds arbitrary bytes from the controller's side through the panel's receive path: line
// cutting, the interpretation by every firmware grammar, and the console echo.
//
// An input is a four-byte header and the bytes of the stream:
//   byte 0  which version line goes first: none, 1.06, 1.26, 3.xx or 2.00 (value mod 5)
//   byte 1  flags: bit 0 asks for a position echo (a typed "cp") before the stream,
//           bit 1 asks for one before every second chunk, bit 2 gives the slider the focus
//   byte 2  length of the odd chunks, less one
//   byte 3  length of the even chunks, in 16-byte steps, less one (up to 4081 bytes, so
//           that unfinished lines cross the receive buffer's bound over several chunks)
// One window lives across all inputs, as it does across a session; each input starts by
// ending whatever unfinished line the previous one left.

#include "console.h"
#include "testsupport.h"

#include <QApplication>
#include <QByteArray>
#include <QSlider>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>

namespace {

MainWindow *window = nullptr;

void dropMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
    // Typed lines are written to a port that is not open; the toolkit's warning about it
    // would drown the fuzzer's own output.
}

QByteArray versionLine(std::uint8_t selector, std::uint8_t minor)
{
    switch (selector % 5) {
    case 1:
        return QByteArrayLiteral("_Ver 106\r");
    case 2:
        return QByteArrayLiteral("_Ver 126\r");
    case 3:
        return QByteArrayLiteral("_Ver 3") + char('0' + minor % 10) + char('0' + minor / 10 % 10)
            + '\r';
    case 4:
        return QByteArrayLiteral("_Ver 200\r");
    default:
        return QByteArray();
    }
}

void typePositionRequest(const PanelProbe &probe)
{
    // What the console sends when the operator types a line with "cp" and presses Return.
    emit probe.console()->getData(QByteArrayLiteral(">cp\r"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(dropMessages);
    static int argc = 1;
    static char name[] = "fuzz_replies";
    static char *argv[] = { name, nullptr };
    new QApplication(argc, argv);
    window = new MainWindow;
    // Shown and active, so that the slider can hold the focus as under the operator's hand.
    window->show();
    QApplication::setActiveWindow(window);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 4)
        return 0;
    const PanelProbe probe(*window);
    const std::uint8_t flags = data[1];
    const int oddChunk = data[2] + 1;
    const int evenChunk = data[3] * 16 + 1;

    probe.feed(QByteArrayLiteral("\r"));
    const QByteArray version = versionLine(data[0], data[1]);
    if (!version.isEmpty())
        probe.feed(version);
    if (flags & 1)
        typePositionRequest(probe);
    auto *slider = window->findChild<QSlider *>(QStringLiteral("horizontalSlider"));
    if (flags & 4)
        slider->setFocus();

    const auto *stream = reinterpret_cast<const char *>(data + 4);
    const int length = int(size - 4);
    bool odd = true;
    for (int at = 0; at < length; odd = !odd) {
        const int chunk = qMin(odd ? oddChunk : evenChunk, length - at);
        if ((flags & 2) && odd)
            typePositionRequest(probe);
        probe.feed(QByteArray(stream + at, chunk));
        at += chunk;
    }

    // The receive buffer's bound holds whatever came in.
    if (probe.rxBuffer().size() > 4096)
        __builtin_trap();
    if (flags & 4)
        slider->clearFocus();
    // Repainting is the toolkit's business, not the receive path's: let the event loop run
    // now and then, so that posted events cannot pile up, without paying for it every time.
    static unsigned inputs = 0;
    if (++inputs % 64 == 0)
        QCoreApplication::processEvents();
    return 0;
}
