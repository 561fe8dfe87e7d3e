// The tests' share of the common headers: the programs' set and the test
// framework. Qt's test helpers stay out: they read the test's own build
// folder from a macro, which differs from test to test.
#pragma once

#include "pch_widgets.h"

#include <gtest/gtest.h>
