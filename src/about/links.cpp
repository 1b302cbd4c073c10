#include "about/links.h"
