#pragma once

#include "State.h"

struct Lattice {};
