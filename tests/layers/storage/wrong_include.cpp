#include "config/progparam.h"
#include "storage/gse2.h"
#include "station/station_state.h"
