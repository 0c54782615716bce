#pragma once
// Thrown when the simulated PC loses power in the middle of an operation. It is
// deliberately no std::exception, so no handler of the program catches it.

namespace fu::sim {

struct PowerCut {};

}  // namespace fu::sim
