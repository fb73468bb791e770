// Mathematical constants shared by the geometry and the transport.
#pragma once

constexpr double kTwoPi = 6.283185307179586476925287;
