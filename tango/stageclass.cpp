#include "stageclass.h"

#include "stagedevice.h"

namespace {

// An attribute whose reads (and, for a writable one, writes) go to the device's methods.
class StageAttribute : public Tango::Attr
{
public:
    using Reader = void (LumarvethonStage::*)(Tango::Attribute &);
    using Writer = void (LumarvethonStage::*)(Tango::WAttribute &);

    StageAttribute(const char *name, long type, Reader reader, Writer writer = nullptr)
        : Tango::Attr(name, type, writer ? Tango::READ_WRITE : Tango::READ)
        , reader(reader)
        , writer(writer)
    { }
    void read(Tango::DeviceImpl *device, Tango::Attribute &attribute) override
    {
        (static_cast<LumarvethonStage *>(device)->*reader)(attribute);
    }
    void write(Tango::DeviceImpl *device, Tango::WAttribute &attribute) override
    {
        if (writer)
            (static_cast<LumarvethonStage *>(device)->*writer)(attribute);
    }

private:
    Reader reader;
    Writer writer;
};

// A command without argument, or with a DevDouble, carried out by a method of the device;
// what it takes and gives as a generic client shows them.
class StageCommand : public Tango::Command
{
public:
    using Action = void (LumarvethonStage::*)();
    using ActionWithValue = void (LumarvethonStage::*)(Tango::DevDouble);

    StageCommand(const char *name, Action action, const char *result)
        : Tango::Command(name, Tango::DEV_VOID, Tango::DEV_VOID, "none", result)
        , action(action)
    { }
    StageCommand(const char *name, ActionWithValue action, const char *argument, const char *result)
        : Tango::Command(name, Tango::DEV_DOUBLE, Tango::DEV_VOID, argument, result)
        , actionWithValue(action)
    { }
    CORBA::Any *execute(Tango::DeviceImpl *device, const CORBA::Any &input) override
    {
        auto *stage = static_cast<LumarvethonStage *>(device);
        if (actionWithValue) {
            Tango::DevDouble value = 0.0;
            extract(input, value);
            (stage->*actionWithValue)(value);
        } else {
            (stage->*action)();
        }
        return insert();
    }

private:
    Action action = nullptr;
    ActionWithValue actionWithValue = nullptr;
};

void show(Tango::UserDefaultAttrProp &properties, const char *label, const char *description)
{
    properties.set_label(label);
    properties.set_description(description);
}

Tango::Attr *micrometres(Tango::Attr *attribute, const char *label, const char *description,
                         bool eventCriteria = false)
{
    Tango::UserDefaultAttrProp properties;
    show(properties, label, description);
    properties.set_unit("um");
    properties.set_standard_unit("1e-6");
    properties.set_display_unit("um");
    properties.set_format("%.1f");
    if (eventCriteria) {
        // The smallest step the panel tells apart from noise (three replies within it are
        // at rest); an operator may set other criteria.
        properties.set_event_abs_change("0.1");
        properties.set_archive_event_abs_change("0.1");
    }
    attribute->set_default_properties(properties);
    return attribute;
}

Tango::Attr *described(Tango::Attr *attribute, const char *label, const char *description,
                       const char *unit = "")
{
    Tango::UserDefaultAttrProp properties;
    show(properties, label, description);
    if (*unit) {
        properties.set_unit(unit);
        properties.set_display_unit(unit);
    }
    attribute->set_default_properties(properties);
    return attribute;
}

} // namespace

LumarvethonStageClass *LumarvethonStageClass::singleton = nullptr;

LumarvethonStageClass::LumarvethonStageClass(std::string &name)
    : Tango::DeviceClass(name)
{ }

// Tango deletes its classes on RestartServer and then asks for them again: the next init()
// must make a new one rather than hand back the deleted one.
LumarvethonStageClass::~LumarvethonStageClass()
{
    singleton = nullptr;
}

LumarvethonStageClass *LumarvethonStageClass::init(const char *name)
{
    if (!singleton) {
        std::string text(name);
        singleton = new LumarvethonStageClass(text); // owned by Tango's server object
    }
    return singleton;
}

LumarvethonStageClass *LumarvethonStageClass::instance()
{
    return singleton;
}

void LumarvethonStageClass::command_factory()
{
    // Tango's command list owns the commands.
    using Stage = LumarvethonStage;
    const char *sent = "none; returns once the panel has sent it to the controller";
    command_list.push_back(
        new StageCommand("Connect", &Stage::connectStage,
                         "none; returns once the controller has identified itself to the panel"));
    command_list.push_back(new StageCommand("Disconnect", &Stage::disconnectStage,
                                            "none; returns once the panel has closed the port"));
    command_list.push_back(new StageCommand("Home", &Stage::home, sent));
    command_list.push_back(new StageCommand("Stop", &Stage::stop, sent));
    // The name motor tools of Tango call.
    command_list.push_back(new StageCommand("Abort", &Stage::stop, sent));
    command_list.push_back(new StageCommand("Calibrate", &Stage::calibrate, sent));
    command_list.push_back(new StageCommand("StepBy", &Stage::stepBy,
                                            "signed distance in micrometres (at most 6000)", sent));
}

void LumarvethonStageClass::attribute_factory(std::vector<Tango::Attr *> &attributes)
{
    using Stage = LumarvethonStage;
    auto *position = new StageAttribute("Position", Tango::DEV_DOUBLE, &Stage::readPosition,
                                        &Stage::writePosition);
    micrometres(position, "Position", "The stage's position; a write moves it there", true);
    // Pushed by the device; Tango checks the change and archive criteria.
    position->set_change_event(true, true);
    position->set_archive_event(true, true);
    attributes.push_back(position);
    attributes.push_back(
        micrometres(new StageAttribute("MinPosition", Tango::DEV_DOUBLE, &Stage::readMinPosition),
                    "Lower limit", "The lower limit of the travel; a write below is refused"));
    attributes.push_back(
        micrometres(new StageAttribute("MaxPosition", Tango::DEV_DOUBLE, &Stage::readMaxPosition),
                    "Upper limit", "The upper limit of the travel; a write above is refused"));
    attributes.push_back(described(
        new StageAttribute("Homed", Tango::DEV_BOOLEAN, &Stage::readHomed), "Homed",
        "Whether the stage has found its reference (false from Home until the run has ended)"));
    attributes.push_back(
        described(new StageAttribute("Calibrated", Tango::DEV_BOOLEAN, &Stage::readCalibrated),
                  "Calibrated", "Whether the controller reports itself calibrated"));
    attributes.push_back(
        described(new StageAttribute("Firmware", Tango::DEV_STRING, &Stage::readFirmware),
                  "Firmware", "The controller's firmware version"));
    attributes.push_back(
        described(new StageAttribute("PositionAge", Tango::DEV_LONG, &Stage::readPositionAge),
                  "Position age", "Time since the last position reply", "ms"));
    for (Tango::Attr *attribute : attributes) {
        if (attribute != position && attribute->get_name() != "Firmware"
            && attribute->get_name() != "PositionAge")
            attribute->set_change_event(true, false);
    }
}

void LumarvethonStageClass::device_factory(const Tango::DevVarStringArray *names)
{
    for (CORBA::ULong i = 0; i < names->length(); ++i) {
        auto *device = new LumarvethonStage(this, std::string((*names)[i]));
        device_list.push_back(device);
        if (Tango::Util::_UseDb && !Tango::Util::_FileDb)
            export_device(device);
        else
            export_device(device, device->get_name().c_str());
    }
}
