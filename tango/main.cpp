// lumarvethon-tango: the Tango device server of the stage. It answers --help and --version
// itself, without reaching any database; everything else is Tango's own command line.

#include "stageclass.h"

#include <tango.h>

#include <cstdio>
#include <cstring>

namespace {

const char usage[]
    = "Usage: lumarvethon-tango INSTANCE [-vN] [-nodb -dlist DEVICE -ORBendPoint "
      "giop:tcp:HOST:PORT]\n"
      "\n"
      "Tango device server of a Lumarvethon stage: device class LumarvethonStage, a client of\n"
      "the script socket of a panel started with --listen, run as the same user as the panel.\n"
      "\n"
      "With a Tango database (TANGO_HOST), the server's devices are those registered for\n"
      "INSTANCE; a device's property SocketPath names the panel's socket.\n"
      "Without one (-nodb), -dlist names the device and -ORBendPoint where it listens;\n"
      "the socket is then $LUMARVETHON_SOCKET, or the panel's default,\n"
      "$XDG_RUNTIME_DIR/lumarvethon.sock, or lumarvethon-UID/lumarvethon.sock in the\n"
      "temporary directory when that variable is unset.\n"
      "\n"
      "Options:\n"
      "  -h, --help     Displays this help.\n"
      "  -v, --version  Displays version information.\n"
      "  -vN            Tango's trace level N (1 to 5).\n"
      "  -nodb          Runs without a Tango database.\n"
      "  -dlist DEVICE  The device to serve without a database.\n"
      "\n"
      "Attributes: Position (read-write, um), MinPosition, MaxPosition, Homed, Calibrated,\n"
      "Firmware, PositionAge (ms). Commands: Connect, Disconnect, Home, Stop, Abort, Calibrate,\n"
      "StepBy (um).\n";

} // namespace

// Tango asks the server for its classes.
void Tango::DServer::class_factory()
{
    add_class(LumarvethonStageClass::init("LumarvethonStage"));
}

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(usage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-v") == 0) {
            std::printf("lumarvethon-tango %s\n", LUMARVETHON_VERSION);
            return 0;
        }
    }
    try {
        Tango::Util *tango = Tango::Util::init(argc, argv);
        tango->server_init(false);
        std::puts("Ready to accept requests");
        std::fflush(stdout);
        tango->server_run();
    } catch (const std::bad_alloc &) {
        std::fputs("lumarvethon-tango: out of memory\n", stderr);
        return 1;
    } catch (const CORBA::Exception &error) {
        Tango::Except::print_exception(error);
        return 1;
    }
    Tango::Util::instance()->server_cleanup();
    return 0;
}
