// Feeds arbitrary bytes from a script's side through the script server's request path: the
// per-client line framing with its bounds, the request parser, and the reply numbers.
//
// An input is a one-byte header and the bytes of the stream:
//   byte 0  length of the chunks the bytes arrive in, less one
// A line that is too long ends the client, as the server does; the next bytes are a new one.

#include "request.h"
#include "requestframer.h"

#include <QByteArray>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void checkRequest(const Request &request)
{
    if (request.kind == Request::Kind::Invalid) {
        check(!request.error.isEmpty());
        return;
    }
    check(std::isfinite(request.value));
    if (request.kind == Request::Kind::Wait)
        check(request.value >= 0.0 && request.value <= longestWaitSeconds);
    // A position's name is printable ASCII and comes back unchanged through a reply.
    if (request.kind == Request::Kind::GoTo || request.kind == Request::Kind::Save) {
        QString back;
        check(!request.name.isEmpty() && decodeName(encodeName(request.name), &back)
              && back == request.name);
    }
    // Every number a reply writes is plain decimal notation and reads back as a number, close
    // to the one written (to ten significant digits, or to the nine decimals it keeps).
    const QByteArray written = formatNumber(request.value);
    check(!written.contains('e') && !written.contains('E'));
    double back = 0.0;
    check(readDecimal(written, &back));
    check(std::fabs(back - request.value) <= std::max(std::fabs(request.value) * 1e-9, 5e-10));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int chunk = data[0] + 1;
    const auto *stream = reinterpret_cast<const char *>(data + 1);
    const int length = int(size - 1);

    RequestFramer framer;
    int at = 0;
    for (;;) {
        // As the session does: only as much as the framer has room for.
        const int take = qMin(qMin(chunk, length - at), framer.room());
        framer.append(QByteArray(stream + at, take));
        at += take;
        check(framer.room() >= 0);

        QByteArray line;
        RequestFramer::Next next;
        while ((next = framer.next(&line)) == RequestFramer::Next::Line) {
            check(line.size() <= RequestFramer::maxLine && !line.contains('\n'));
            checkRequest(parseRequest(line));
        }
        if (next == RequestFramer::Next::TooLong)
            framer = RequestFramer();
        else if (at == length)
            break; // an unfinished line stays unfinished
    }
    return 0;
}
