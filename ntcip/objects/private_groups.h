// Object groups of the sign's private "halv" subtree (1.3.6.1.4.1.1206.3.11).
#pragma once

#include "ntcip/mib/mib_table.h"

// halv 4: the six file-transfer objects; a committed SET of the state
// object (halvObj4_1) runs the file-transfer step.
extern const mib_table halv_file_transfer_table;
