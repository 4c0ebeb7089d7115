#include "console/vms_command.h"

#include "console/console.h"

namespace {

const char* VMS_HELP[] = {"Sign controller operations", "-t LEVEL | -s | -d ITEM", nullptr};

int vms_command(int argc, char* argv[]) {
    (void)argc;
    (void)argv;
    return MON_CMD_PARAM_ERROR;
}

} // namespace

monCommand* vms_command_table() {
    static monCommand table[] = {
        {"vms", vms_command, VMS_HELP, 0},
        {"VMS", vms_command, VMS_HELP, 0},
        {nullptr, nullptr, nullptr, 0},
    };
    return table;
}
