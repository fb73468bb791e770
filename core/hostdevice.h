// One marker for functions that run on the host and on CUDA devices. Under a
// host compiler it expands to nothing, so every such function is also an
// ordinary host function that the CPU tests exercise.
#pragma once

#if defined(__CUDACC__)
#define TQ_CPU_GPU __host__ __device__
#define TQ_GPU __device__
#else
#define TQ_CPU_GPU
#define TQ_GPU
#endif
