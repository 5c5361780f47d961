// LumarvethonStage's attributes and commands: reads answer from the state last asked, writes
// and commands become script requests.

#include "stagedevice.h"

#include <locale>
#include <optional>
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

// What the panel said of a value, or nothing when there was no panel to ask.
template<typename T> std::optional<T> answered(PanelReach reach, const T &value)
{
    return reach == PanelReach::Answered ? std::optional<T>(value) : std::nullopt;
}
template<typename T> std::optional<T> answered(PanelReach reach, const std::optional<T> &value)
{
    return reach == PanelReach::Answered ? value : std::nullopt;
}

// Hands Tango a known value, kept in storage for the reply being built; a value not known
// (yet) has the quality ATTR_INVALID.
template<typename T, typename Stored>
bool serve(Tango::Attribute &attribute, const std::optional<T> &known, Stored &storage)
{
    if (!known) {
        attribute.set_quality(Tango::ATTR_INVALID);
        return false;
    }
    storage = *known;
    attribute.set_value(&storage);
    return true;
}

} // namespace

void LumarvethonStage::readPosition(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    const std::optional<double> position = answered(now.reach, now.state.position);
    if (serve(attribute, position, positionValue))
        attribute.set_quality(positionQuality(position, now.state.moving));
}

void LumarvethonStage::writePosition(Tango::WAttribute &attribute)
{
    Tango::DevDouble target = 0.0;
    attribute.get_write_value(target);
    // The panel's limits, as last asked, refuse a target at once; the panel checks again.
    const Snapshot now = snapshot();
    const double minimum = now.state.minimum;
    const double maximum = now.state.maximum;
    if (now.reach == PanelReach::Answered && minimum < maximum
        && !(minimum <= target && target <= maximum))
        Tango::Except::throw_exception(
            "Lumarvethon_Refused", "outside " + numberText(minimum) + ".." + numberText(maximum),
            "LumarvethonStage");
    request("move " + numberText(target));
}

void LumarvethonStage::readHomed(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    serve(attribute, answered(now.reach, now.state.homed), homedValue);
}

void LumarvethonStage::readCalibrated(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    serve(attribute, answered(now.reach, now.state.calibrated), calibratedValue);
}

void LumarvethonStage::readFirmware(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    firmwareText = now.state.firmware;
    const bool known = now.reach == PanelReach::Answered && !firmwareText.empty();
    const auto text = const_cast<Tango::DevString>(firmwareText.c_str());
    serve(attribute, known ? std::optional<Tango::DevString>(text) : std::nullopt, firmwareValue);
}

void LumarvethonStage::readMinPosition(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    serve(attribute, answered(now.reach, now.state.minimum), minimumValue);
}

void LumarvethonStage::readMaxPosition(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    serve(attribute, answered(now.reach, now.state.maximum), maximumValue);
}

void LumarvethonStage::readPositionAge(Tango::Attribute &attribute)
{
    const Snapshot now = snapshot();
    // The age the panel gave, plus the time since it gave it.
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - now.taken);
    const std::optional<long> age = answered(now.reach, now.state.ageMs);
    serve(attribute, age ? std::optional<long>(*age + since.count()) : std::nullopt, ageValue);
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
    request("stop", true);
}

void LumarvethonStage::calibrate()
{
    request("calibrate");
}

void LumarvethonStage::stepBy(Tango::DevDouble micrometres)
{
    request("step " + numberText(micrometres));
}
