#include "navigation_data/placeholders.h"
