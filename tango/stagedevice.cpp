#include "stagedevice.h"

#include "panelclient.h"

namespace {

using namespace std::chrono_literals;

// How often the panel is asked for its state, and how often while no panel answers.
constexpr auto refreshInterval = 100ms;
constexpr auto retryInterval = 1000ms;
// A panel that takes longer than this to answer fails the request.
constexpr auto answerTimeout = 2000ms;

// Holds the device's own lock, which Tango holds around every request to the device: events
// and attribute properties are changed under it.
class DeviceLock
{
public:
    explicit DeviceLock(Tango::TangoMonitor &monitor)
        : monitor(monitor)
    {
        monitor.get_monitor();
    }
    ~DeviceLock() { monitor.rel_monitor(); }
    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

private:
    Tango::TangoMonitor &monitor;
};

} // namespace

Tango::DevState tangoState(MotorState state)
{
    switch (state) {
    case MotorState::Unknown:
        break;
    case MotorState::Off:
        return Tango::OFF;
    case MotorState::Fault:
        return Tango::FAULT;
    case MotorState::Alarm:
        return Tango::ALARM;
    case MotorState::Moving:
        return Tango::MOVING;
    case MotorState::Disable:
        return Tango::DISABLE;
    case MotorState::On:
        return Tango::ON;
    }
    return Tango::UNKNOWN;
}

LumarvethonStage::LumarvethonStage(Tango::DeviceClass *deviceClass, const std::string &name)
    : TANGO_BASE_CLASS(deviceClass, name.c_str())
{
    init_device();
}

LumarvethonStage::~LumarvethonStage()
{
    delete_device();
}

void LumarvethonStage::init_device()
{
    std::string property;
    if (Tango::Util::_UseDb) {
        Tango::DbData data;
        data.push_back(Tango::DbDatum("SocketPath"));
        get_db_device()->get_property(data);
        if (!data[0].is_empty())
            data[0] >> property;
    }
    panel = std::make_unique<PanelClient>(
        chooseSocketPath(property, std::getenv("LUMARVETHON_SOCKET")), answerTimeout);
    {
        const std::lock_guard<std::mutex> lock(snapshotMutex);
        last = Snapshot();
    }
    positionSent.reset();
    stateSent.reset();
    rangeSet.reset();
    // The events are pushed by the refresher, which also decides when they are due.
    set_change_event("State", true, false);
    set_change_event("Position", true, false);
    stopping = false;
    refresher = std::thread(&LumarvethonStage::refreshLoop, this);
}

void LumarvethonStage::delete_device()
{
    if (!refresher.joinable())
        return;
    {
        const std::lock_guard<std::mutex> lock(refresherMutex);
        stopping = true;
    }
    wake.notify_all();
    refresher.join();
    panel.reset();
}

LumarvethonStage::Snapshot LumarvethonStage::snapshot() const
{
    const std::lock_guard<std::mutex> lock(snapshotMutex);
    return last;
}

void LumarvethonStage::refreshLoop()
{
    // Tango's locks and events know a thread by omniORB's thread record.
    const omni_thread::ensure_self known;
    std::unique_lock<std::mutex> lock(refresherMutex);
    while (!stopping) {
        lock.unlock();
        try {
            refresh();
        } catch (const Tango::DevFailed &) {
            // The device's lock was not to be had (it is being deleted): try again later.
        }
        const bool answered = snapshot().reach == PanelReach::Answered;
        lock.lock();
        wake.wait_for(lock, answered ? refreshInterval : retryInterval, [this] { return stopping; });
    }
}

void LumarvethonStage::refresh()
{
    Snapshot now;
    const PanelClient::Reply reply = panel->ask("state");
    switch (reply.outcome) {
    case PanelClient::Outcome::Answered:
        if (const std::optional<PanelState> state = parseStateReply(reply.text)) {
            now.reach = PanelReach::Answered;
            now.state = *state;
        } else {
            now.reach = PanelReach::Unreachable;
            now.detail = panel->path() + " answers \"" + reply.text + "\"";
        }
        break;
    case PanelClient::Outcome::Unreachable:
        now.reach = PanelReach::Unreachable;
        now.detail = reply.text;
        break;
    case PanelClient::Outcome::TimedOut:
        now.reach = PanelReach::Silent;
        now.detail = reply.text;
        break;
    }
    {
        const std::lock_guard<std::mutex> lock(snapshotMutex);
        last = now;
    }
    publish(now);
}

void LumarvethonStage::publish(const Snapshot &now)
{
    const DeviceLock lock(get_dev_monitor());
    const Verdict verdict = judge(now.reach, now.state, now.detail);
    const Tango::DevState state = tangoState(verdict.state);
    if (stateSent != state) {
        stateSent = state;
        // The event of State carries the device's own state, whatever value it is given.
        set_state(state);
        statusText = verdict.status;
        Tango::DevState value = state;
        push_change_event("State", &value);
    }
    const bool answered = now.reach == PanelReach::Answered;
    const std::optional<double> position = answered ? now.state.position : std::nullopt;
    if (positionEventDue(positionSent, position)) {
        positionSent = position;
        Tango::DevDouble value = position.value_or(0.0);
        timeval stamp {};
        gettimeofday(&stamp, nullptr);
        push_change_event("Position", &value, stamp,
                          position ? Tango::ATTR_VALID : Tango::ATTR_INVALID);
    }
    if (answered)
        followLimits(now.state.minimum, now.state.maximum);
}

void LumarvethonStage::followLimits(double minimum, double maximum)
{
    const std::pair<double, double> range(minimum, maximum);
    if (rangeSet == range || !(minimum < maximum))
        return;
    Tango::WAttribute &position = get_device_attr()->get_w_attr_by_name("Position");
    // Each bound is checked against the other one as it stands: a range that moves up
    // past the old maximum needs its new maximum first.
    if (rangeSet && minimum >= rangeSet->second) {
        position.set_max_value(maximum);
        position.set_min_value(minimum);
    } else {
        position.set_min_value(minimum);
        position.set_max_value(maximum);
    }
    rangeSet = range;
}

Tango::DevState LumarvethonStage::dev_state()
{
    const Snapshot now = snapshot();
    const Verdict verdict = judge(now.reach, now.state, now.detail);
    statusText = verdict.status;
    set_state(tangoState(verdict.state));
    return get_state();
}

Tango::ConstDevString LumarvethonStage::dev_status()
{
    dev_state();
    return statusText.c_str();
}

void LumarvethonStage::request(const std::string &line)
{
    static const char *origin = "LumarvethonStage";
    const PanelClient::Reply reply = panel->ask(line);
    if (reply.outcome == PanelClient::Outcome::Unreachable)
        Tango::Except::throw_exception("Lumarvethon_NoPanel", reply.text, origin);
    if (reply.outcome == PanelClient::Outcome::TimedOut)
        Tango::Except::throw_exception("Lumarvethon_Timeout", reply.text, origin);
    const std::string reason = refusalReason(reply.text);
    if (!reason.empty())
        Tango::Except::throw_exception("Lumarvethon_Refused", reason, origin);
    if (reply.text != "ok" && reply.text.compare(0, 3, "ok ") != 0)
        Tango::Except::throw_exception("Lumarvethon_Reply", "unexpected reply: " + reply.text,
                                       origin);
    // The panel counts a move, step or home as motion from the moment it goes out, so the
    // state asked now says MOVING before the request returns.
    refresh();
}
