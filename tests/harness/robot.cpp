// Filled in with the end-to-end harness.
#include "robot.h"
