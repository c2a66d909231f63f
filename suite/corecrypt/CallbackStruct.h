#pragma once

// The progress and cancel record of long engine calls is the one the task runs and listings use.
#include "uikit/CallbackStruct.h"
