#pragma once

// Reaches up into the window from the lowest layer: the layers check must
// refuse it.
#include "app/velloran.h"
