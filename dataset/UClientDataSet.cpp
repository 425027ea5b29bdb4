#include "UClientDataSet.h"

// Placeholder until the unit is written.
