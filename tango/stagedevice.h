#ifndef STAGEDEVICE_H
#define STAGEDEVICE_H

// The Tango device of the stage, LumarvethonStage: a client of the panel's script socket.
// A thread of its own asks the panel for its state every 100 ms (every second while no panel
// answers), keeps the answer for every client's reads and pushes the events. Commands and
// writes go to the panel as script requests, so they obey its rules and show in its console
// and record; a refusal comes back as DevFailed with the panel's reason. A command waits for
// the panel without the device's lock, so that reads, State and events go on meanwhile, and
// on a connection of its own; Stop and Abort have one more, so that they go out at once.

#include "stagestatus.h"

#include <tango.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class PanelClient;

class LumarvethonStage : public TANGO_BASE_CLASS
{
public:
    LumarvethonStage(Tango::DeviceClass *deviceClass, const std::string &name);
    ~LumarvethonStage() override;

    void init_device() override;
    void delete_device() override;
    Tango::DevState dev_state() override;
    Tango::ConstDevString dev_status() override;
    // SIGTERM, SIGINT: ends every wait for the panel, so that the server goes at once.
    void signal_handler(long signal) override;

    // Attributes.
    void readPosition(Tango::Attribute &attribute);
    void writePosition(Tango::WAttribute &attribute);
    void readHomed(Tango::Attribute &attribute);
    void readCalibrated(Tango::Attribute &attribute);
    void readFirmware(Tango::Attribute &attribute);
    void readMinPosition(Tango::Attribute &attribute);
    void readMaxPosition(Tango::Attribute &attribute);
    void readPositionAge(Tango::Attribute &attribute);

    // Commands.
    void connectStage();
    void disconnectStage();
    void home();
    void stop();
    void calibrate();
    void stepBy(Tango::DevDouble micrometres);

private:
    // The panel as asked; a later sequence was asked later.
    struct Snapshot
    {
        std::uint64_t sequence = 0;
        PanelReach reach = PanelReach::Unreachable;
        std::string detail = "not asked yet"; // why it could not be asked
        PanelState state;
        std::chrono::steady_clock::time_point taken = std::chrono::steady_clock::now();
    };
    // The connections to the panel; Init makes new ones while a command may still use the old.
    struct Links
    {
        std::shared_ptr<PanelClient> poll, command, stop;
    };

    Snapshot snapshot() const;
    Links links() const;
    void refreshLoop();
    Snapshot askState(PanelClient &link);
    // Keeps now unless a later one is kept already, and publishes it.
    void take(const Snapshot &now);
    void publish(const Snapshot &now);
    // Sends an acting request on link; returns normally on "ok", else throws DevFailed with
    // the reason. The device's lock is let go while the panel is waited for.
    void request(const std::string &line, bool stopping = false);

    mutable std::mutex linksMutex;
    Links panel;
    std::thread refresher;
    std::mutex refresherMutex;
    std::condition_variable wake;
    bool stopping = false;
    // Commands still using the device while they wait; delete_device waits for them.
    int active = 0;
    std::condition_variable idle;

    std::atomic<std::uint64_t> asked { 0 };
    mutable std::mutex snapshotMutex;
    Snapshot last;

    // What the events last said (under the device's lock).
    std::uint64_t published = 0;
    std::optional<Tango::DevState> stateSent;
    std::optional<bool> homedSent, calibratedSent;
    std::optional<double> minimumSent, maximumSent;
    bool sentAny = false;

    // Values handed to Tango for the reply being built (under the device's lock).
    Tango::DevDouble positionValue = 0.0;
    Tango::DevDouble minimumValue = 0.0;
    Tango::DevDouble maximumValue = 0.0;
    Tango::DevBoolean homedValue = false;
    Tango::DevBoolean calibratedValue = false;
    Tango::DevLong ageValue = 0;
    Tango::DevString firmwareValue = nullptr;
    std::string firmwareText;
    std::string statusText;
};

// The Tango state of a motor state.
Tango::DevState tangoState(MotorState state);

// The quality of Position: ATTR_INVALID when not known, ATTR_CHANGING while the stage moves.
Tango::AttrQuality positionQuality(const std::optional<double> &position, bool moving);

#endif // STAGEDEVICE_H
