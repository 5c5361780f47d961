#ifndef PANELCLIENT_H
#define PANELCLIENT_H

// One connection to the panel's script socket: a request line out, its one reply line back,
// one request at a time. The device keeps one for its state polls, one for its commands and
// one for Stop, so that none waits behind another. The connection is made when needed; a
// reply that does not come in time closes it, so that a late reply is never taken for the
// answer to a later request. Every connect, send and receive has a time limit, and
// abandon() ends any wait at once (the server is going).

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

class PanelClient
{
public:
    enum class Outcome {
        Answered, // text is the reply line without its LF
        Unreachable, // text says why no panel could be reached
        TimedOut, // text says what was not answered in time
    };
    struct Reply
    {
        Outcome outcome = Outcome::Unreachable;
        std::string text;
    };

    PanelClient(std::string path, std::chrono::milliseconds timeout);
    ~PanelClient();
    PanelClient(const PanelClient &) = delete;
    PanelClient &operator=(const PanelClient &) = delete;

    const std::string &path() const { return socketPath; }
    // Sends request (without LF) and waits for its reply; no request, waiting included, takes
    // longer than the time-out. Acting requests go with a deadline (see deadlineRequest) well
    // before the time-out, so that a request this client gives up on never acts later.
    Reply ask(const std::string &request, bool acting = false);
    // Ends every wait of this client, now and later.
    void abandon();

private:
    using Clock = std::chrono::steady_clock;
    bool connectSocket(Clock::time_point deadline, std::string *why);
    bool sendAll(const std::string &line, Clock::time_point deadline, std::string *why);
    // Waits until fd is ready for events or the deadline; 0 on time-out, -1 when abandoned.
    int waitFor(short events, Clock::time_point deadline);
    void closeSocket();

    const std::string socketPath;
    const std::chrono::milliseconds timeout;
    std::timed_mutex busy;
    int fd = -1;
    int wakeFd = -1; // an eventfd that abandon() makes readable
    std::string received; // bytes after the last reply line
};

// The milliseconds of the system's monotonic clock (CLOCK_MONOTONIC), which the panel on the
// same machine reads the deadlines of requests by.
std::int64_t monotonicMilliseconds();

// request with the deadline prefix the panel knows: "deadline <ms> <request>".
std::string deadlineRequest(const std::string &request, std::int64_t deadlineMs);

#endif // PANELCLIENT_H
