// The store's start-up, run once by the start-up sequence after the tasks
// were started: fill the non-volatile image, run the run-time defaults, and
// end with notification and validation on.
#include "store/database.h"

void CDataBase::Init() {
    SetValidateOn(false);
    // Without a journal to replay, the non-volatile image (zero since
    // construction) takes the factory defaults.
    SetDefaults(0);
    InitVolatile(); // also turns the flash mode off until the task's first cycle
    SetInitialised(1);
    SetNotifyOn(true);
    SetValidateOn(true);
}
