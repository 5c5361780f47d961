// Systems without POSIX pseudo-terminals (Windows): there is no terminal to serve the
// simulated controller on, so open() says so and everything else has nothing to do.

#include "pseudoterminal.h"

PseudoTerminal::PseudoTerminal(QObject *parent)
    : QObject(parent)
{ }

PseudoTerminal::~PseudoTerminal() = default;

bool PseudoTerminal::open()
{
    error = QStringLiteral("this system has no pseudo-terminals");
    return false;
}

void PseudoTerminal::write(const QByteArray &) { }
void PseudoTerminal::flushOutgoing() { }
void PseudoTerminal::readMaster() { }
void PseudoTerminal::setReading(bool) { }
bool PseudoTerminal::isReading() const
{
    return false;
}
void PseudoTerminal::hangUp() { }
void PseudoTerminal::closeFds() { }
