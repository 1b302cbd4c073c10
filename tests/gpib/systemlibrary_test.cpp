#include "gpib/systemlibrary.h"

#include <gtest/gtest.h>
