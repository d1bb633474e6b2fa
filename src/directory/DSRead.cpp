#include "directory/DSRead.h"
