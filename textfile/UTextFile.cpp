#include "UTextFile.h"

// Placeholder until the unit is written.
