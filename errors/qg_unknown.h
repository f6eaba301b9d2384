// Moved: the reference-counted base belongs to the support library.
#include "support/qg_unknown.h"
