// Size checks of the base types live in types.h; this unit keeps the
// platform library non-empty until the stand-ins land.
#include "platform/win32/types.h"
