#include "about/specsheet.h"
