// Stand-in for the editors' support: no lookup hook until one is set.
#include "edbits_standin.h"

int (*edbits_lookup_hook)(const char* name, const ZEGSCENE* scene);
