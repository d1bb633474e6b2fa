#include "directory/DSFilter.h"
