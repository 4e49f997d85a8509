#pragma once

#include "Shared.h"
