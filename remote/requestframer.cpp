#include "requestframer.h"

void RequestFramer::append(const QByteArray &data)
{
    buffer.remove(0, start);
    start = 0;
    buffer.append(data.constData(), qMin(int(data.size()), room()));
}

RequestFramer::Next RequestFramer::next(QByteArray *line)
{
    const int end = buffer.indexOf('\n', start);
    if (end < 0)
        return buffer.size() - start > maxLine ? Next::TooLong : Next::None;
    if (end - start > maxLine)
        return Next::TooLong;
    *line = buffer.mid(start, end - start);
    start = end + 1;
    return Next::Line;
}
