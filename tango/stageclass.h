#ifndef STAGECLASS_H
#define STAGECLASS_H

// The Tango class LumarvethonStage: declares the device's attributes (with their units,
// formats and events), its commands and its property, and makes the devices of the server.

#include <tango.h>

#include <string>

class LumarvethonStageClass : public Tango::DeviceClass
{
public:
    static LumarvethonStageClass *init(const char *name);
    static LumarvethonStageClass *instance();
    ~LumarvethonStageClass() override;

protected:
    explicit LumarvethonStageClass(std::string &name);
    void command_factory() override;
    void attribute_factory(std::vector<Tango::Attr *> &attributes) override;
    void device_factory(const Tango::DevVarStringArray *names) override;

private:
    static LumarvethonStageClass *singleton;
};

#endif // STAGECLASS_H
