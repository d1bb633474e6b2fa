#include "attrinfo/AttrInfo.h"
