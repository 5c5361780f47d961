// LumarvethonStage's events: what a snapshot of the panel tells subscribers, in the order in
// which the snapshots were asked for.

#include "stagedevice.h"

#include <sys/time.h>

namespace {

// Pushes the change event of a value (ATTR_INVALID when not known) when it differs from
// the one last pushed.
template<typename T, typename Tangoed>
void pushWhenChanged(Tango::DeviceImpl &device, const char *name, std::optional<T> &sent,
                     const std::optional<T> &now, bool first)
{
    if (!first && sent == now)
        return;
    sent = now;
    Tangoed value = now.value_or(T());
    timeval stamp {};
    gettimeofday(&stamp, nullptr);
    device.push_change_event(name, &value, stamp, now ? Tango::ATTR_VALID : Tango::ATTR_INVALID);
}

} // namespace

void LumarvethonStage::publish(const Snapshot &now)
{
    Tango::TangoMonitor &monitor = get_dev_monitor();
    monitor.get_monitor();
    struct Release
    {
        Tango::TangoMonitor &monitor;
        ~Release() { monitor.rel_monitor(); }
    } const release { monitor };
    // A snapshot asked before the last one published tells of the past.
    if (now.sequence <= published)
        return;
    published = now.sequence;

    const bool answered = now.reach == PanelReach::Answered;
    const std::optional<double> position = answered ? now.state.position : std::nullopt;
    // Pushed every time: Tango sends what passes the criteria set on the attribute, and any
    // change of quality.
    Tango::DevDouble value = position.value_or(0.0);
    const Tango::AttrQuality quality = positionQuality(position, now.state.moving);
    timeval stamp {};
    gettimeofday(&stamp, nullptr);
    push_change_event("Position", &value, stamp, quality);
    push_archive_event("Position", &value, stamp, quality);

    const Verdict verdict = judge(now.reach, now.state, now.detail);
    const Tango::DevState state = tangoState(verdict.state);
    // After Position: the ON of a move's end comes with its final position.
    if (stateSent != state) {
        stateSent = state;
        // The event of State carries the device's own state, whatever value it is given.
        set_state(state);
        statusText = verdict.status;
        Tango::DevState stateValue = state;
        push_change_event("State", &stateValue);
        push_archive_event("State", &stateValue);
    }

    const bool first = !sentAny;
    sentAny = true;
    const auto known = [answered](auto value) {
        return answered ? std::optional<decltype(value)>(value) : std::nullopt;
    };
    pushWhenChanged<bool, Tango::DevBoolean>(*this, "Homed", homedSent, known(now.state.homed),
                                             first);
    pushWhenChanged<bool, Tango::DevBoolean>(*this, "Calibrated", calibratedSent,
                                             answered ? now.state.calibrated : std::nullopt, first);
    pushWhenChanged<double, Tango::DevDouble>(*this, "MinPosition", minimumSent,
                                              known(now.state.minimum), first);
    pushWhenChanged<double, Tango::DevDouble>(*this, "MaxPosition", maximumSent,
                                              known(now.state.maximum), first);
}
