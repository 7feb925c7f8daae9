#include "VokSetupApplication.h"

START_JUCE_APPLICATION (VokSetupApplication)
