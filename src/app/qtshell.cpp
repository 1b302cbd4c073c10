#include "app/qtshell.h"
