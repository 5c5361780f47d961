#include "stagedevice.h"

#include "panelclient.h"

#include <csignal>

namespace {

using namespace std::chrono_literals;

// How often the panel is asked for its state, and how often while no panel answers.
constexpr auto refreshInterval = 100ms;
constexpr auto retryInterval = 1000ms;
// A panel that takes longer than this to answer fails the request.
constexpr auto answerTimeout = 2000ms;

// Holds the device's own lock, which Tango holds around every request to the device: events
// are pushed under it.
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

// Lets go of the device's lock, as far as this thread holds it, for as long as it lives:
// reads, State and events are served meanwhile. Takes it back as it was.
class LockReleased
{
public:
    explicit LockReleased(Tango::TangoMonitor &monitor)
        : monitor(monitor)
    {
        omni_thread *self = omni_thread::self();
        while (self && monitor.get_locking_thread_id() == self->id()
               && monitor.get_locking_ctr() > 0) {
            monitor.rel_monitor();
            ++levels;
        }
    }
    ~LockReleased()
    {
        try {
            for (; levels > 0; --levels)
                monitor.get_monitor();
        } catch (const Tango::DevFailed &) {
            // Not to be had in Tango's time: the reply goes out without it.
        }
    }
    LockReleased(const LockReleased &) = delete;
    LockReleased &operator=(const LockReleased &) = delete;

private:
    Tango::TangoMonitor &monitor;
    long levels = 0;
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

Tango::AttrQuality positionQuality(const std::optional<double> &position, bool moving)
{
    if (!position)
        return Tango::ATTR_INVALID;
    return moving ? Tango::ATTR_CHANGING : Tango::ATTR_VALID;
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
        try {
            Tango::DbData data;
            data.push_back(Tango::DbDatum("SocketPath"));
            get_db_device()->get_property(data);
            if (!data[0].is_empty())
                data[0] >> property;
        } catch (const Tango::DevFailed &) {
            // No database just now: the path chosen without it.
        }
    }
    const std::string path = chooseSocketPath(property, std::getenv("LUMARVETHON_SOCKET"));
    {
        const std::lock_guard<std::mutex> lock(linksMutex);
        panel.poll = std::make_shared<PanelClient>(path, answerTimeout);
        panel.command = std::make_shared<PanelClient>(path, answerTimeout);
        panel.stop = std::make_shared<PanelClient>(path, answerTimeout);
    }
    {
        const std::lock_guard<std::mutex> lock(snapshotMutex);
        last = Snapshot();
        last.sequence = asked.load();
    }
    published = last.sequence;
    stateSent.reset();
    homedSent.reset();
    calibratedSent.reset();
    minimumSent.reset();
    maximumSent.reset();
    sentAny = false;
    // The refresher pushes the events. Tango checks Position's against the criteria the
    // operator set (abs_change, rel_change); the others it pushes only when they change.
    set_change_event("Position", true, true);
    set_archive_event("Position", true, true);
    set_change_event("State", true, false);
    set_archive_event("State", true, false);
    for (const char *name : { "Homed", "Calibrated", "MinPosition", "MaxPosition" })
        set_change_event(name, true, false);
    // Tango ends the server after the handler, once the requests under way have returned.
    register_signal(SIGTERM);
    register_signal(SIGINT);
    stopping = false;
    refresher = std::thread(&LumarvethonStage::refreshLoop, this);
}

void LumarvethonStage::signal_handler(long)
{
    const Links old = links();
    for (const auto &link : { old.poll, old.command, old.stop })
        link->abandon();
}

void LumarvethonStage::delete_device()
{
    if (!refresher.joinable())
        return;
    signal_handler(SIGTERM);
    for (const long signal : { SIGTERM, SIGINT }) {
        try {
            unregister_signal(signal);
        } catch (const Tango::DevFailed &) {
            // Not registered: nothing to undo.
        }
    }
    // The refresher and a command that waits may want the device's lock to finish.
    const LockReleased released(get_dev_monitor());
    std::unique_lock<std::mutex> lock(refresherMutex);
    stopping = true;
    wake.notify_all();
    idle.wait(lock, [this] { return active == 0; });
    lock.unlock();
    refresher.join();
}

LumarvethonStage::Snapshot LumarvethonStage::snapshot() const
{
    const std::lock_guard<std::mutex> lock(snapshotMutex);
    return last;
}

LumarvethonStage::Links LumarvethonStage::links() const
{
    const std::lock_guard<std::mutex> lock(linksMutex);
    return panel;
}

void LumarvethonStage::refreshLoop()
{
    // Tango's locks and events know a thread by omniORB's thread record.
    const omni_thread::ensure_self known;
    const std::shared_ptr<PanelClient> link = links().poll;
    std::unique_lock<std::mutex> lock(refresherMutex);
    while (!stopping) {
        lock.unlock();
        const Snapshot now = askState(*link);
        try {
            take(now);
        } catch (const Tango::DevFailed &) {
            // The device's lock was not to be had (it is being deleted): try again later.
        }
        lock.lock();
        const bool answered = now.reach == PanelReach::Answered;
        wake.wait_for(lock, answered ? refreshInterval : retryInterval,
                      [this] { return stopping; });
    }
}

LumarvethonStage::Snapshot LumarvethonStage::askState(PanelClient &link)
{
    Snapshot now;
    // Numbered before it is asked: an answer that tells of the stage before a command acted
    // was asked before the command's own, which comes after the command's reply.
    now.sequence = ++asked;
    const PanelClient::Reply reply = link.ask("state");
    now.taken = std::chrono::steady_clock::now();
    switch (reply.outcome) {
    case PanelClient::Outcome::Answered:
        if (const std::optional<PanelState> state = parseStateReply(reply.text)) {
            now.reach = PanelReach::Answered;
            now.state = *state;
        } else {
            now.reach = PanelReach::Unreachable;
            now.detail = link.path() + " answers \"" + reply.text + "\"";
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
    return now;
}

void LumarvethonStage::take(const Snapshot &now)
{
    {
        const std::lock_guard<std::mutex> lock(snapshotMutex);
        if (now.sequence <= last.sequence)
            return;
        last = now;
    }
    publish(now);
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

void LumarvethonStage::request(const std::string &line, bool stopping)
{
    static const char *origin = "LumarvethonStage";
    const Links now = links();
    PanelClient &link = stopping ? *now.stop : *now.command;
    // Counted until it returns: delete_device waits for it.
    struct Active
    {
        LumarvethonStage &device;
        explicit Active(LumarvethonStage &device)
            : device(device)
        {
            const std::lock_guard<std::mutex> lock(device.refresherMutex);
            ++device.active;
        }
        ~Active()
        {
            const std::lock_guard<std::mutex> lock(device.refresherMutex);
            --device.active;
            device.idle.notify_all();
        }
    } const counted(*this);
    PanelClient::Reply reply;
    std::optional<Snapshot> after;
    {
        const LockReleased released(get_dev_monitor());
        reply = link.ask(line, true);
        // The panel counts a move, step or home as motion from the moment it goes out, so
        // the state asked now says MOVING before the request returns.
        if (reply.outcome == PanelClient::Outcome::Answered && reply.text.compare(0, 2, "ok") == 0)
            after = askState(link);
    }
    if (after && after->reach == PanelReach::Answered)
        take(*after);
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
}
