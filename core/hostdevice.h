// One marker for functions that run on the host and on CUDA devices. Under a
// host compiler it expands to nothing, so every such function is also an
// ordinary host function that the CPU tests exercise. TQ_ALWAYS_INLINE and
// TQ_NOINLINE overrule the compilers' choice on a hot path: a function that
// every step calls from one place goes into its caller, one that few steps
// reach stays out of it.
#pragma once

#if defined(__CUDACC__)
#define TQ_CPU_GPU __host__ __device__
#define TQ_GPU __device__
#else
#define TQ_CPU_GPU
#define TQ_GPU
#endif

#define TQ_ALWAYS_INLINE __attribute__((always_inline))
#define TQ_NOINLINE __attribute__((noinline))
