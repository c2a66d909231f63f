#pragma once

// The engine reports into the suite's shared progress and cancel record.
#include "uikit/CallbackStruct.h"
