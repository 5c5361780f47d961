#ifndef REQUESTFRAMER_H
#define REQUESTFRAMER_H

// Cuts one client's bytes into request lines ending in LF, within fixed bounds: a line holds
// at most maxLine bytes before its LF, and at most maxBuffered bytes wait in the framer. The
// owner feeds it only as many bytes as room() allows and leaves the rest with the socket, so
// a client that sends faster than its requests are answered is slowed, not buffered.

#include <QByteArray>

class RequestFramer
{
public:
    static constexpr int maxLine = 256;
    static constexpr int maxBuffered = 4096;

    enum class Next {
        None, // no complete line yet
        Line, // *line holds the next request, without its LF
        TooLong, // a line is longer than maxLine: the client is to be dropped
    };

    int room() const { return maxBuffered - int(buffer.size() - start); }
    // Takes at most room() bytes of data; the rest is ignored.
    void append(const QByteArray &data);
    Next next(QByteArray *line);

private:
    QByteArray buffer;
    int start = 0; // the first byte not yet taken; taken bytes are dropped on append
};

#endif // REQUESTFRAMER_H
