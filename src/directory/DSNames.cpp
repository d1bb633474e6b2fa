#include "directory/DSNames.h"
