#include "about/aboutform.h"
