#include "app/appicon.h"
