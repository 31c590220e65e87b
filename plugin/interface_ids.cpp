// Defines the identifiers that the generated interface headers only declare.
#include <initguid.h>

#include "brawlhue.h"
#include "zmud.h"
