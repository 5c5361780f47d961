// LumarvethonStage's attributes and commands: reads answer from the state last asked, writes
// and commands become script requests.

#include "stagedevice.h"

#include <locale>
#include <sstream>

namespace {

std::string numberText(double value)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(17);
    text << value;
    return text.str();
}

} // namespace

void LumarvethonStage::readPosition(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    if (now.reach != PanelReach::Answered || !now.state.position) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    positionValue = *now.state.position;
    attribute.set_value(&positionValue);
    if (now.state.moving)
        attribute.set_quality(Tango::ATTR_CHANGING);
}

void LumarvethonStage::writePosition(Tango::WAttribute &attribute)
{
    Tango::DevDouble target = 0.0;
    attribute.get_write_value(target);
    request("move " + numberText(target));
}

void LumarvethonStage::readHomed(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    if (now.reach != PanelReach::Answered) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    homedValue = now.state.homed;
    attribute.set_value(&homedValue);
}

void LumarvethonStage::readCalibrated(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    if (now.reach != PanelReach::Answered || !now.state.calibrated) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    calibratedValue = *now.state.calibrated;
    attribute.set_value(&calibratedValue);
}

void LumarvethonStage::readFirmware(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    if (now.reach != PanelReach::Answered || now.state.firmware.empty()) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    firmwareText = now.state.firmware;
    firmwareValue = const_cast<char *>(firmwareText.c_str());
    attribute.set_value(&firmwareValue);
}

void LumarvethonStage::readMinPosition(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    if (now.reach != PanelReach::Answered) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    minimumValue = now.state.minimum;
    attribute.set_value(&minimumValue);
}

void LumarvethonStage::readMaxPosition(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    if (now.reach != PanelReach::Answered) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    maximumValue = now.state.maximum;
    attribute.set_value(&maximumValue);
}

void LumarvethonStage::readPositionAge(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    if (now.reach != PanelReach::Answered || !now.state.ageMs) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return;
    }
    // The age the panel gave, plus the time since it gave it.
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - now.taken);
    ageValue = Tango::DevLong(*now.state.ageMs + since.count());
    attribute.set_value(&ageValue);
}

void LumarvethonStage::connectStage()
{
    request("connect");
}

void LumarvethonStage::disconnectStage()
{
    request("disconnect");
}

void LumarvethonStage::home()
{
    request("home");
}

void LumarvethonStage::stop()
{
    request("stop");
}

void LumarvethonStage::calibrate()
{
    request("calibrate");
}

void LumarvethonStage::stepBy(Tango::DevDouble micrometres)
{
    request("step " + numberText(micrometres));
}
