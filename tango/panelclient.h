#ifndef PANELCLIENT_H
#define PANELCLIENT_H

// One connection to the panel's script socket, shared by the threads of the device server:
// a request line out, its one reply line back, one request at a time. The connection is made
// when needed; a reply that does not come in time closes it, so that a late reply is never
// taken for the answer to a later request.

#include <chrono>
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
    // longer than the time-out.
    Reply ask(const std::string &request);

private:
    bool connectSocket(std::string *why);
    void closeSocket();

    const std::string socketPath;
    const std::chrono::milliseconds timeout;
    std::timed_mutex busy;
    int fd = -1;
    std::string received; // bytes after the last reply line
};

#endif // PANELCLIENT_H
