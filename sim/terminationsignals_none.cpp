// Systems without POSIX signals: the toolkit's own handling of a console interrupt stays.

#include "terminationsignals.h"

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{ }

TerminationSignals::~TerminationSignals() = default;

bool TerminationSignals::install()
{
    return false;
}

void TerminationSignals::readPipe() { }
