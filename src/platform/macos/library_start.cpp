#include "platform/platform.h"

void startPlatformForLibrary() {}
