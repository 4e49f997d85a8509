#pragma once

#include "Lattice.h"
