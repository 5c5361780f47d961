#ifndef STAGEDEVICE_H
#define STAGEDEVICE_H

// The Tango device of the stage, LumarvethonStage: a client of the panel's script socket.
// A thread of its own asks the panel for its state every 100 ms (every second while no panel
// answers), keeps the answer for every client's reads, follows the limits with Position's
// range and pushes the change events of Position and State. Commands and writes go to the
// panel as script requests, so they obey its rules and show in its console and record; a
// refusal comes back as DevFailed with the panel's reason.

#include "stagestatus.h"

#include <tango.h>

#include <atomic>
#include <condition_variable>
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
    // The panel as last asked.
    struct Snapshot
    {
        PanelReach reach = PanelReach::Unreachable;
        std::string detail = "not asked yet"; // why it could not be asked
        PanelState state;
        std::chrono::steady_clock::time_point taken = std::chrono::steady_clock::now();
    };

    Snapshot snapshot() const;
    void refreshLoop();
    void refresh();
    void publish(const Snapshot &now);
    void followLimits(double minimum, double maximum);
    // Sends request; returns normally on "ok", else throws DevFailed with the reason.
    void request(const std::string &line);

    std::unique_ptr<PanelClient> panel;
    std::thread refresher;
    std::mutex refresherMutex;
    std::condition_variable wake;
    bool stopping = false;

    mutable std::mutex snapshotMutex;
    Snapshot last;

    // What the events and the range last said (refresher thread, under the device's lock).
    std::optional<double> positionSent;
    std::optional<Tango::DevState> stateSent;
    std::optional<std::pair<double, double>> rangeSet;

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

#endif // STAGEDEVICE_H
