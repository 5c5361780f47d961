#include "stagestatus.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

bool readFlag(const std::string &text, bool *value)
{
    if (text != "0" && text != "1")
        return false;
    *value = text == "1";
    return true;
}

bool readNumber(const std::string &text, double *value)
{
    if (text.empty())
        return false;
    char *end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(number))
        return false;
    *value = number;
    return true;
}

} // namespace

std::optional<PanelState> parseStateReply(const std::string &reply)
{
    std::istringstream words(reply);
    std::string word;
    if (!(words >> word) || word != "ok")
        return std::nullopt;
    std::map<std::string, std::string> fields;
    while (words >> word) {
        const auto equals = word.find('=');
        if (equals == std::string::npos)
            return std::nullopt;
        fields[word.substr(0, equals)] = word.substr(equals + 1);
    }
    for (const char *name : { "connected", "firmware", "homed", "calibrated", "position", "min",
                              "max", "age_ms", "moving", "stale", "reconnecting" }) {
        if (fields.count(name) == 0)
            return std::nullopt;
    }

    PanelState state;
    bool calibrated = false;
    double number = 0.0;
    if (!readFlag(fields["connected"], &state.connected) || !readFlag(fields["homed"], &state.homed)
        || !readFlag(fields["moving"], &state.moving) || !readFlag(fields["stale"], &state.stale)
        || !readFlag(fields["reconnecting"], &state.reconnecting)
        || !readNumber(fields["min"], &state.minimum) || !readNumber(fields["max"], &state.maximum))
        return std::nullopt;
    if (fields["firmware"] != "-")
        state.firmware = fields["firmware"];
    if (fields["calibrated"] != "-") {
        if (!readFlag(fields["calibrated"], &calibrated))
            return std::nullopt;
        state.calibrated = calibrated;
    }
    if (fields["position"] != "-") {
        if (!readNumber(fields["position"], &number))
            return std::nullopt;
        state.position = number;
    }
    if (fields["age_ms"] != "-") {
        if (!readNumber(fields["age_ms"], &number) || number < 0)
            return std::nullopt;
        state.ageMs = long(number);
    }
    return state;
}

Verdict judge(PanelReach reach, const PanelState &state, const std::string &detail)
{
    switch (reach) {
    case PanelReach::Unreachable:
        return { MotorState::Unknown, "No panel to reach: " + detail };
    case PanelReach::Silent:
        return { MotorState::Unknown, "The panel does not answer: " + detail };
    case PanelReach::Answered:
        break;
    }
    if (state.reconnecting)
        return { MotorState::Fault, "The panel lost the controller and is reconnecting" };
    if (!state.connected)
        return { MotorState::Off, "The panel is not connected to the controller" };
    if (state.stale)
        return { MotorState::Alarm, "The controller does not answer: the position is stale" };
    if (state.moving)
        return { MotorState::Moving, "The stage is moving" };
    if (!state.homed)
        return { MotorState::Disable, "Connected, the stage is not homed yet" };
    return { MotorState::On, "Ready" };
}

std::string refusalReason(const std::string &reply)
{
    const std::string prefix = "error ";
    return reply.compare(0, prefix.size(), prefix) == 0 ? reply.substr(prefix.size())
                                                        : std::string();
}

std::string chooseSocketPath(const std::string &property, const char *environment)
{
    if (!property.empty())
        return property;
    if (environment && *environment)
        return environment;
    return defaultSocketPath();
}

std::string defaultSocketPath()
{
    const char *runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::string(runtime) + "/lumarvethon.sock";
    // As the panel: a directory of the user's own in the shared temporary directory.
    const char *temporary = std::getenv("TMPDIR");
    std::string dir = temporary && *temporary ? temporary : "/tmp";
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    return dir + "/lumarvethon-" + std::to_string(::getuid()) + "/lumarvethon.sock";
}
