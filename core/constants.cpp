#include "core/constants.h"

Constants hostConstants;
double hostCumulativeWeight[kMaxSourceSpectrumEnergies];
