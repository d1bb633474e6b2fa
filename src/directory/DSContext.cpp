#include "directory/DSContext.h"
