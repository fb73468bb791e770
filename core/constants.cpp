#include "core/constants.h"

Constants hostConstants;
