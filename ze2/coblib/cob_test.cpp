#include "coblib_test.h"
