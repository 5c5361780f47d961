#ifndef STAGESTATUS_H
#define STAGESTATUS_H

// The device server's plain logic, apart from Tango and the socket: the panel's `state` reply
// read into a record, the motor state and status text that follow from it, and where the panel's
// socket is. Tests call these directly.

#include <optional>
#include <string>

// What the panel's `state` reply says; an unknown value ("-") leaves its optional empty.
struct PanelState
{
    bool connected = false;
    std::string firmware; // empty until the controller has identified itself
    bool homed = false;
    std::optional<bool> calibrated;
    std::optional<double> position; // micrometres
    double minimum = 0.0;
    double maximum = 0.0;
    std::optional<long> ageMs; // since the last position reply
    bool moving = false;
    bool stale = false;
    bool reconnecting = false;
};

// A reply line without its LF ("ok connected=1 firmware=1.06 ..."); nothing when it is not a
// complete `state` reply (an error, a field missing or unreadable).
std::optional<PanelState> parseStateReply(const std::string &reply);

// How far the panel could be asked.
enum class PanelReach {
    Answered, // its newest state is known
    Unreachable, // no panel listens on the socket
    Silent, // it did not answer in time
};

// Tango's motor states that this device takes, in the order in which they win.
enum class MotorState { Unknown, Off, Fault, Alarm, Moving, Disable, On };

struct Verdict
{
    MotorState state = MotorState::Unknown;
    std::string status; // says why, for Tango's Status
};

// The first state that applies: UNKNOWN without a panel, OFF without a controller, FAULT
// while reconnecting, ALARM while the read-out is stale, MOVING, DISABLE until homed, ON.
// detail: the socket's path or the reason it cannot be reached, for the status text.
Verdict judge(PanelReach reach, const PanelState &state, const std::string &detail);

// The reason in an "error <reason>" reply; empty for any other line.
std::string refusalReason(const std::string &reply);

// The panel's socket: the device's SocketPath property when set, else the environment's
// LUMARVETHON_SOCKET when set, else the path where the panel listens by default.
std::string chooseSocketPath(const std::string &property, const char *environment);
// $XDG_RUNTIME_DIR/lumarvethon.sock, or lumarvethon-<uid>/lumarvethon.sock in the temporary
// directory.
std::string defaultSocketPath();

#endif // STAGESTATUS_H
