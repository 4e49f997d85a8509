#pragma once

#include "Lattice.h"

struct State {
    Lattice lattice;
};
