#include "directory/DSValues.h"
