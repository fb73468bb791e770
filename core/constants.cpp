#include "core/constants.h"

namespace core {
Constants hostConstants;
double hostCumulativeWeight[kMaxSourceSpectrumEnergies];
}  // namespace core
