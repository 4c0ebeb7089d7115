// The surface's one read of the object store.
#include "display/surface.h"
#include "store/database.h"
#include "store/objects.h"

bool surface_simulation_mode() {
    return db_get(obj::dmsControlMode) == 6;
}
